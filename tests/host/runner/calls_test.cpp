// Guest memory, the call table, the test-control call and --trace lines over fake memory and a host pipe.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "calls/call_numbers.h"
#include "calls/call_table.h"
#include "calls/error_codes.h"
#include "process/guest_memory.h"
#include "test_hooks/control_abi.h"
#include "test_hooks/test_hooks.h"
#include "trace/trace_printer.h"

namespace vornos::kernel {
namespace {

// A program memory for tests: chosen pages exist, each readable and possibly writable.
class FakeMemory final : public GuestMemory {
 public:
  static constexpr uint32_t kPage = 4096;

  // Maps the pages covering [address, address + size), zero-filled.
  void map(uint32_t address, uint32_t size, bool writable = true) {
    for (uint64_t page = address / kPage; page * kPage < uint64_t{address} + size; ++page) {
      pages_[static_cast<uint32_t>(page)] = {std::vector<std::byte>(kPage), writable};
    }
  }
  // Stores bytes on mapped pages, bypassing write protection.
  void poke(uint32_t address, std::string_view bytes) { copy(address, std::as_bytes(std::span(bytes)), nullptr, true); }
  std::string peek(uint32_t address, size_t size) {
    std::string text(size, '\0');
    read_some(address, std::as_writable_bytes(std::span(text)));
    return text;
  }
  size_t read_some(uint32_t address, std::span<std::byte> to) override { return copy(address, {}, to.data(), false, to.size()); }
  size_t write_some(uint32_t address, std::span<const std::byte> from) override { return copy(address, from, nullptr, false); }

 private:
  struct Page {
    std::vector<std::byte> bytes;
    bool writable = true;
  };
  // Copies `from` into the pages, or the pages into `to` (`size` bytes), up to the first page
  // that is missing (or read-only when writing unforced) or the end of the 32-bit space.
  size_t copy(uint32_t address, std::span<const std::byte> from, std::byte* to, bool force, size_t size = 0) {
    if (to == nullptr) size = from.size();
    size_t done = 0;
    for (uint64_t at = address; done < size && at <= UINT32_MAX;) {
      const auto page = pages_.find(static_cast<uint32_t>(at / kPage));
      if (page == pages_.end() || (to == nullptr && !force && !page->second.writable)) break;
      const size_t n = std::min<uint64_t>(size - done, kPage - at % kPage);
      std::byte* const bytes = page->second.bytes.data() + at % kPage;
      to == nullptr ? std::memcpy(bytes, from.data() + done, n) : std::memcpy(to + done, bytes, n);
      done += n;
      at += n;
    }
    return done;
  }
  std::map<uint32_t, Page> pages_;
};

using namespace test_control;

class PathLog final : public FileSystem {
 public:
  int32_t repair_dirents(std::string_view path) override {
    paths.emplace_back(path);
    return 3;
  }
  std::vector<std::string> paths;
};

struct Pipe {
  Pipe() { EXPECT_EQ(pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0); }
  ~Pipe() { close(ends[0]), close(ends[1]); }
  int ends[2];
};

class Calls : public ::testing::Test {
 protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);
    memory.map(kData, 2 * FakeMemory::kPage);
    memory.map(kReadOnly, FakeMemory::kPage, /*writable=*/false);
  }
  int32_t serve(uint32_t number, std::array<uint32_t, 6> args = {}) { return table.serve({number, args}, memory).result; }
  int32_t control(Op op, uint32_t first = 0, uint32_t second = 0) { return serve(kCallNumber, {static_cast<uint32_t>(op), first, second}); }
  int32_t script(ScriptedAnswer answer) {
    memory.poke(kData + 0x1F00, std::string_view(reinterpret_cast<const char*>(&answer), sizeof answer));
    return control(Op::script, kData + 0x1F00);
  }
  std::string output() {
    char bytes[4096];
    const ssize_t got = read(output_pipe.ends[0], bytes, sizeof bytes);
    return got > 0 ? std::string(bytes, static_cast<size_t>(got)) : "";
  }

  static constexpr uint32_t kData = 0x600000;  // two writable pages, then nothing
  static constexpr uint32_t kEnd = kData + 2 * FakeMemory::kPage;
  static constexpr uint32_t kReadOnly = 0x700000;
  Pipe input_pipe, output_pipe;
  FakeMemory memory;
  HostInput input{input_pipe.ends[0]};
  HostOutput out{output_pipe.ends[1]};
  Process process{input, out};
  PathLog volume;
  TestHooks hooks;
  CallTable table{process, &volume, &hooks};
};

TEST_F(Calls, WriteTakesWhatIsReadableUpToTheCount) {
  memory.poke(kData, "hello");
  memory.poke(kEnd - 3, "end");
  const struct {
    std::array<uint32_t, 6> args;
    int32_t result;
  } cases[] = {{{1, kData, 2}, 2}, {{1, kData, 0}, 0}, {{0, kData, 1}, kBadDescriptor}, {{2, kData, 1}, kBadDescriptor},
               {{1, 0, 5}, kBadAddress}, {{1, kEnd, 1}, kBadAddress}, {{1, kEnd - 3, 10}, 3}, {{1, kEnd - 1, 0xFFFFFFFF}, 1}};
  for (const auto& c : cases) EXPECT_EQ(serve(call::write, c.args), c.result) << c.args[1];
  EXPECT_EQ(output(), "he" "end" "d");
  // A closed output pipe ends the program, as SIGPIPE ends a Unix program.
  close(output_pipe.ends[0]), output_pipe.ends[0] = -1;
  EXPECT_THROW(serve(call::write, {1, kData, 1}), OutputPipeClosed);
}

TEST_F(Calls, ReadConsumesOnlyWhatTheBufferCanTake) {
  ASSERT_EQ(write(input_pipe.ends[1], "abcdef", 6), 6);
  const struct {
    std::array<uint32_t, 6> args;
    int32_t result;
    std::string stored;
  } cases[] = {{{0, 0, 3}, kBadAddress, ""}, {{0, kReadOnly, 3}, kBadAddress, ""}, {{1, kData, 3}, kBadDescriptor, ""},
               {{0, kEnd - 1, 3}, 1, "a"}, {{0, kData, 2}, 2, "bc"}, {{0, kData, 100}, 3, "def"}};
  for (const auto& c : cases) {
    EXPECT_EQ(serve(call::read, c.args), c.result) << c.args[1];
    EXPECT_EQ(memory.peek(c.args[1], c.stored.size()), c.stored);
  }
  close(input_pipe.ends[1]), input_pipe.ends[1] = -1;
  EXPECT_EQ(serve(call::read, {0, kData, 100}), 0);
}

TEST_F(Calls, ExitUnknownCallsAndTheRepairPath) {
  for (const auto& [status, expected] : {std::pair{300u, 44}, {0xFFFFFFFFu, 255}, {256u, 0}}) {
    EXPECT_EQ(table.serve({call::exit, {status}}, memory).exit_status, expected);
  }
  for (uint32_t number : {0u, 98u, 200u, 0xFFFFFFFFu}) EXPECT_EQ(serve(number, {1, kData, 1}), kNotImplemented);
  memory.poke(kData, std::string_view("/Photos\0", 8));
  CallTable without_volume{process, nullptr, nullptr};
  for (uint32_t number : {call::repair_dirents, call::open, call::writefile, call::mkdir, call::rmdir, call::unlink,
                          call::chdir, call::vornfs_stream_begin}) {
    EXPECT_EQ(without_volume.serve({number, {kData, 0, 0}}, memory).result, kNotImplemented) << number;
  }
  memory.poke(kEnd - 2, "/a");
  EXPECT_EQ(serve(call::repair_dirents, {kData}), 3);
  EXPECT_EQ(serve(call::repair_dirents, {0}), kBadAddress);
  EXPECT_EQ(serve(call::repair_dirents, {kEnd - 2}), kBadAddress);  // no NUL before the gap
  memory.poke(kData, std::string(kPathLimit + 1, 'a'));
  EXPECT_EQ(serve(call::repair_dirents, {kData}), kNameTooLong);
  EXPECT_EQ(volume.paths, std::vector<std::string>{"/Photos"});
}

// No program can make the hooks hold more than their limits, however long it tries.
TEST_F(Calls, TestHooksHoldBoundedMemory) {
  memory.map(0x1000000, 16 << 20);
  EXPECT_EQ(control(Op::capture_start), 0);
  EXPECT_EQ(serve(call::write, {1, 0x1000000, 16 << 20}), int32_t{16 << 20});
  EXPECT_EQ(serve(call::write, {1, kData, 1}), -28);
  EXPECT_EQ(script({call::read, AnswerKind::input, 0, 0x1000000, 16 << 20}), 0);
  EXPECT_EQ(script({call::read, AnswerKind::input, 0, kData, 1}), -12);
  for (size_t queued = 1; queued < TestHooks::kAnswerLimit; ++queued) ASSERT_EQ(script({call::write, AnswerKind::result, 0, 0, 0}), 0);
  EXPECT_EQ(script({call::write, AnswerKind::result, 0, 0, 0}), -12);
  EXPECT_EQ(control(Op::script_clear), 0);
  EXPECT_EQ(script({call::read, AnswerKind::input, 0, kData, 1}), 0);
}


TEST(GuestMemory, StringsEndAtTheirNulOrFail) {
  FakeMemory memory;
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


TEST(TracePrinter, DecodesEachKindOfArgument) {
  FakeMemory memory;
  memory.map(0x500000, 4096);
  memory.poke(0x500000, std::string_view("/docs\0", 6));
  memory.poke(0x500100, "mendir: repaired 3 entries under /\n");
  memory.poke(0x500200, std::string_view("\xff\x01\"\\\t\r\na", 8));
  const struct {
    KernelCall call;
    std::optional<int32_t> result;
    std::string line;
  } cases[] = {
      {{call::write, {1, 0x500100, 35}}, 35, R"(write(1, "mendir: repaired 3 entries under"..., 35) = 35)"},
      {{call::write, {1, 0x500200, 8}}, 8, R"(write(1, "\xff\x01\"\\\t\r\na", 8) = 8)"},
      {{call::write, {2, 0, 5}}, -14, "write(2, NULL, 5) = -14 EFAULT"},
      {{call::read, {0, 0x500000, 100}}, 5, R"(read(0, "/docs", 100) = 5)"},
      {{call::read, {0, 0x500000, 100}}, 0, "read(0, 0x500000, 100) = 0"},
      {{call::exit, {0xffffffff}}, std::nullopt, "exit(-1)"},
      {{call::open, {0x500000, 0x241, 0}}, 3, R"(open("/docs", O_WRONLY|O_CREAT|O_TRUNC, 0) = 3)"},
      {{call::open, {0x500000, 0x100482, 0}}, 3, R"(open("/docs", O_RDWR|O_EXCL|O_APPEND|0x100000, 0) = 3)"},
      {{call::lseek, {3, 0xfffffffb, 2}}, 7, "lseek(3, -5, SEEK_END) = 7"},
      {{call::lseek, {3, 0, 9}}, -22, "lseek(3, 0, 9) = -22 EINVAL"},
      {{call::getcwd, {0x500000, 64, 0}}, 6, R"(getcwd("/docs", 64, 0) = 6)"},
      {{call::getcwd, {0x500000, 2, 0}}, -34, "getcwd(0x500000, 2, 0) = -34 ERANGE"},
      {{call::mmap, {0, 4096, 3, 0x22, 0xffffffff, 0}}, -38, "mmap(NULL, 4096, 0x3, 0x22, -1, 0) = -38 ENOSYS"},
      {{200, {1, 2, 3}}, -38, "call_200(0x1, 0x2, 0x3) = -38 ENOSYS"},
      {{test_control::kCallNumber, {4, 0x500000, 64}}, 2, "test_control(capture_stop, 0x500000, 64) = 2"},
      {{test_control::kCallNumber, {99}}, -22, "test_control(0x63, NULL, 0) = -22 EINVAL"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_call(c.call, c.result, memory), c.line);
}

}  // namespace
}  // namespace vornos::kernel
