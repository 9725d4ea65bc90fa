// Guest memory: whole copies, strings across pages, and the real process_vm interface.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "calls/error_codes.h"
#include "fake_memory.h"
#include "process/guest_memory.h"

namespace vornos::kernel {
namespace {

using testing::FakeMemory;

TEST(GuestMemory, WholeCopiesFailWithBadAddressWhenAnyByteIsMissing) {
  FakeMemory memory;
  memory.map(0x10000, 4096);
  std::byte buffer[8]{};
  EXPECT_EQ(memory.read(0x10000, buffer), 0);
  EXPECT_EQ(memory.read(0x10000 + 4096 - 4, buffer), kBadAddress);  // runs off the page
  EXPECT_EQ(memory.read(0, buffer), kBadAddress);
  EXPECT_EQ(memory.read(0x10000, std::span<std::byte>()), 0);        // nothing to copy
  EXPECT_EQ(memory.write(0x10000 + 4090, buffer), kBadAddress);
}

TEST(GuestMemory, WritesToReadOnlyPagesFail) {
  FakeMemory memory;
  memory.map(0x20000, 4096, /*writable=*/false);
  const std::byte data[2]{std::byte{1}, std::byte{2}};
  EXPECT_EQ(memory.write(0x20000, data), kBadAddress);
}

TEST(GuestMemory, StringsEndAtTheirNulEvenRightBeforeAMissingPage) {
  FakeMemory memory;
  memory.map(0x30000, 4096);
  // "/docs" ends with its NUL in the last byte of the only page.
  const uint32_t at = 0x30000 + 4096 - 6;
  memory.poke(at, std::string_view("/docs\0", 6));
  std::string text;
  EXPECT_EQ(memory.read_string(at, kPathLimit, text), 0);
  EXPECT_EQ(text, "/docs");

  // Same string without its NUL: the next byte is on a missing page.
  memory.poke(at, "x/docs");
  EXPECT_EQ(memory.read_string(at, kPathLimit, text), kBadAddress);
  EXPECT_EQ(memory.read_string(0, kPathLimit, text), kBadAddress);
}

TEST(GuestMemory, StringsAcrossPagesAndTheLengthLimit) {
  FakeMemory memory;
  memory.map(0x40000, 3 * 4096);
  const std::string long_text(5000, 'a');
  memory.poke(0x40000 + 100, long_text);  // pages are zero-filled: a NUL follows
  std::string text;
  EXPECT_EQ(memory.read_string(0x40000 + 100, kPathLimit, text), kNameTooLong);
  EXPECT_EQ(memory.read_string(0x40000 + 100, 5000, text), 0);
  EXPECT_EQ(text, long_text);
  EXPECT_EQ(memory.read_string(0x40000 + 100, 4999, text), kNameTooLong);
  EXPECT_EQ(memory.read_string(0x40000 + 100 + 5000, 0, text), 0);  // the empty string
  EXPECT_EQ(text, "");
}

TEST(GuestMemory, StringsDoNotWrapPastTheTopOfTheAddressSpace) {
  FakeMemory memory;
  memory.map(0xFFFFF000, 4096);
  memory.map(0, 4096);  // a page at 0 must not be taken as the continuation
  memory.poke(0xFFFFFFFC, "abcd");
  std::string text;
  EXPECT_EQ(memory.read_string(0xFFFFFFFC, kPathLimit, text), kBadAddress);
}

// The real interface, on this test's own process: pages mapped below 4 GiB, one of them
// made inaccessible, stand in for a 32-bit program's memory.
class ProcessMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    void* at = mmap(reinterpret_cast<void*>(kBase), 3 * kPage, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    ASSERT_EQ(at, reinterpret_cast<void*>(kBase)) << "cannot map test pages at " << std::hex << kBase;
    ASSERT_EQ(mprotect(reinterpret_cast<void*>(kBase + kPage), kPage, PROT_READ), 0);
    ASSERT_EQ(mprotect(reinterpret_cast<void*>(kBase + 2 * kPage), kPage, PROT_NONE), 0);
  }
  void TearDown() override { munmap(reinterpret_cast<void*>(kBase), 3 * kPage); }

  static constexpr uint32_t kPage = 4096;
  static constexpr uint32_t kBase = 0x5a000000;
  char* host(uint32_t address) { return reinterpret_cast<char*>(uintptr_t{address}); }
  ProcessMemory memory{getpid()};
};

TEST_F(ProcessMemoryTest, CopiesStopAtTheFirstPageOutOfReach) {
  std::memcpy(host(kBase + kPage - 3), "xyz", 3);
  std::byte buffer[2 * kPage];
  // Readable: the writable page and the read-only one; the third page is not.
  EXPECT_EQ(memory.read_some(kBase + kPage - 3, std::span(buffer).first(3)), 3u);
  EXPECT_EQ(std::memcmp(buffer, "xyz", 3), 0);
  EXPECT_EQ(memory.read_some(kBase + 10, buffer), 2 * kPage - 10);
  EXPECT_EQ(memory.read(kBase + 10, buffer), kBadAddress);

  // Writable: only the first page; the read-only page refuses like a missing one.
  std::memset(buffer, 'w', sizeof buffer);
  EXPECT_EQ(memory.write_some(kBase + kPage - 4, std::span(buffer).first(8)), 4u);
  EXPECT_EQ(std::string(host(kBase + kPage - 4), 4), "wwww");
  EXPECT_EQ(host(kBase + kPage)[0], 0) << "the read-only page was written";
  EXPECT_EQ(memory.write(kBase + kPage, std::span(buffer).first(1)), kBadAddress);
  EXPECT_EQ(memory.read_some(0, std::span(buffer).first(4)), 0u);
}

TEST_F(ProcessMemoryTest, StringsEndingOnTheLastReadablePage) {
  // The string sits at the end of the read-only page, right before the inaccessible one.
  char* const end = host(kBase + 2 * kPage);
  auto place = [&](const char* bytes) {
    ASSERT_EQ(mprotect(end - kPage, kPage, PROT_READ | PROT_WRITE), 0);
    std::memcpy(end - 4, bytes, 4);
    ASSERT_EQ(mprotect(end - kPage, kPage, PROT_READ), 0);
  };
  std::string text;
  place("abc");  // with its NUL
  EXPECT_EQ(memory.read_string(kBase + 2 * kPage - 4, kPathLimit, text), 0);
  EXPECT_EQ(text, "abc");
  place("abcd");  // without
  EXPECT_EQ(memory.read_string(kBase + 2 * kPage - 4, kPathLimit, text), kBadAddress);
}

}  // namespace
}  // namespace vornos::kernel
