// Guest memory: strings across pages and the real process_vm interface at page edges.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "calls/error_codes.h"
#include "fake_memory.h"

namespace vornos::kernel {
namespace {

TEST(GuestMemory, StringsEndAtTheirNulOrFail) {
  testing::FakeMemory memory;
  memory.map(0x30000, 3 * 4096);
  memory.map(0xFFFFF000, 4096);
  memory.map(0, 4096);  // must not be taken for what follows 0xFFFFFFFF
  memory.poke(0x33000 - 6, std::string_view("/docs\0", 6));
  memory.poke(0x30010, std::string(5000, 'a'));
  memory.poke(0xFFFFFFFC, "abcd");
  const struct {
    uint32_t address;
    size_t limit;
    int32_t status;
    size_t length;
  } cases[] = {{0x33000 - 6, kPathLimit, 0, 5},  {0x33000 - 5, 4, 0, 4}, {0x33000 - 5, 3, kNameTooLong, 0},
               {0x30010, 5000, 0, 5000},         {0x30010, 4999, kNameTooLong, 0}, {0xFFFFFFFC, kPathLimit, kBadAddress, 0},
               {0x2FFFF, kPathLimit, kBadAddress, 0}};
  for (const auto& c : cases) {
    std::string text;
    EXPECT_EQ(memory.read_string(c.address, c.limit, text), c.status) << std::hex << c.address;
    EXPECT_EQ(c.status == 0 ? text.size() : 0, c.length);
  }
}

// This test's own pages below 4 GiB stand in for a program's: writable, read-only, none.
TEST(GuestMemory, ProcessMemoryStopsAtTheFirstPageOutOfReach) {
  constexpr uint32_t kPage = 4096, kBase = 0x5a000000;
  char* const base = static_cast<char*>(mmap(reinterpret_cast<void*>(kBase), 3 * kPage, PROT_READ | PROT_WRITE,
                                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0));
  ASSERT_EQ(base, reinterpret_cast<char*>(kBase));
  std::memcpy(base + 2 * kPage - 4, "abc", 4);
  ASSERT_EQ(mprotect(base + kPage, kPage, PROT_READ), 0);
  ASSERT_EQ(mprotect(base + 2 * kPage, kPage, PROT_NONE), 0);
  ProcessMemory memory(getpid());
  std::byte buffer[2 * kPage];
  EXPECT_EQ(memory.read_some(kBase + 10, buffer), 2 * kPage - 10);
  EXPECT_EQ(memory.read(kBase + 10, buffer), kBadAddress);
  std::memset(buffer, 'w', sizeof buffer);
  EXPECT_EQ(memory.write_some(kBase + kPage - 4, std::span(buffer).first(8)), 4u);
  EXPECT_EQ(std::string(base + kPage - 4, 5), std::string("wwww\0", 5)) << "the read-only page was written";
  EXPECT_EQ(memory.read_some(0, std::span(buffer).first(4)), 0u);
  std::string text;
  EXPECT_EQ(memory.read_string(kBase + 2 * kPage - 4, kPathLimit, text), 0);
  EXPECT_EQ(text, "abc");
  munmap(base, 3 * kPage);
}

}  // namespace
}  // namespace vornos::kernel
