// Guest memory, the call table, the test-control call, --trace lines and the runner's escaped
// names, over this test's own pages and a host pipe.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "base/abi.h"
#include "calls/call_table.h"
#include "base/error_codes.h"
#include "base/guest_memory.h"
#include "base/diagnostics.h"
#include "vornos/abi/test_control.h"
#include "test_hooks/test_hooks.h"
#include "trace/trace_printer.h"

namespace vornos::kernel {
namespace {

// Pages of this test's own address space below 4 GiB stand in for a program's memory, read
// and written through ProcessMemory as a traced program's are. Unmapped at the end.
class Pages {
 public:
  static constexpr uint32_t kPage = 4096;
  ~Pages() {
    for (const auto& [at, size] : maps_) munmap(at, size);
  }
  // Maps [address, address + size) zero-filled.
  void map(uint64_t address, size_t size, int protection = PROT_READ | PROT_WRITE) {
    void* const at = mmap(reinterpret_cast<void*>(address), size, protection,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    ASSERT_EQ(at, reinterpret_cast<void*>(address)) << "the test needs this place free: " << std::hex << address;
    maps_.emplace_back(at, size);
  }
  static void poke(uint64_t address, std::string_view bytes) {
    std::memcpy(reinterpret_cast<void*>(address), bytes.data(), bytes.size());
  }
  static std::string peek(uint64_t address, size_t size) { return {reinterpret_cast<const char*>(address), size}; }
  ProcessMemory memory{getpid()};

 private:
  std::vector<std::pair<void*, size_t>> maps_;
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
    pages.map(kData, 2 * Pages::kPage);
    pages.map(kReadOnly, Pages::kPage, PROT_READ);
  }
  int32_t serve(uint32_t number, std::array<uint32_t, 6> args = {}) { return serve_call(context, {number, args}).result; }
  int32_t control(Op op, uint32_t first = 0, uint32_t second = 0) { return serve(kCallNumber, {static_cast<uint32_t>(op), first, second}); }
  int32_t script(ScriptedAnswer answer) {
    pages.poke(kData + 0x1F00, std::string_view(reinterpret_cast<const char*>(&answer), sizeof answer));
    return control(Op::script, kData + 0x1F00);
  }

  static constexpr uint32_t kData = 0x60000000;  // two writable pages, then nothing
  static constexpr uint32_t kEnd = kData + 2 * Pages::kPage;
  static constexpr uint32_t kReadOnly = 0x70000000;
  Pipe input_pipe, output_pipe;
  Pages pages;
  GuestMemory& memory = pages.memory;
  HostInput input{input_pipe.ends[0]};
  HostOutput out{output_pipe.ends[1]};
  ProcessFiles files{input, out};
  PathLog volume;
  Names names{&volume};
  TestHooks hooks;
  CallContext context = [this] {
    CallContext made(files, memory, &volume, names);
    made.hooks = &hooks;
    return made;
  }();
};

TEST_F(Calls, WriteTakesWhatIsReadableUpToTheCount) {
  pages.poke(kData, "hello");
  pages.poke(kEnd - 3, "end");
  const struct {
    std::array<uint32_t, 6> args;
    int32_t result;
  } cases[] = {{{1, kData, 2}, 2}, {{1, kData, 0}, 0}, {{0, kData, 1}, kBadDescriptor}, {{2, kData, 1}, kBadDescriptor},
               {{1, 0, 5}, kBadAddress}, {{1, kEnd, 1}, kBadAddress}, {{1, kEnd - 3, 10}, 3}, {{1, kEnd - 1, 0xFFFFFFFF}, 1}};
  for (const auto& c : cases) EXPECT_EQ(serve(call::write, c.args), c.result) << c.args[1];
  char written[16];
  EXPECT_EQ(read(output_pipe.ends[0], written, sizeof written), 6);
  EXPECT_EQ(std::string(written, 6), "he" "end" "d");
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
    EXPECT_EQ(pages.peek(c.args[1], c.stored.size()), c.stored);
  }
  close(input_pipe.ends[1]), input_pipe.ends[1] = -1;
  EXPECT_EQ(serve(call::read, {0, kData, 100}), 0);
}

TEST_F(Calls, ExitUnknownCallsAndTheRepairPath) {
  for (const auto& [status, expected] : {std::pair{300u, 44}, {0xFFFFFFFFu, 255}, {256u, 0}}) {
    EXPECT_EQ(serve_call(context, {call::exit, {status}}).exit_status, expected);
  }
  for (uint32_t number : {0u, 98u, 200u, 0xFFFFFFFFu}) EXPECT_EQ(serve(number, {1, kData, 1}), kNotImplemented);
  pages.poke(kData, std::string_view("/Photos\0", 8));
  Names no_names{nullptr};
  CallContext without_volume(files, memory, nullptr, no_names);
  for (uint32_t number : {call::repair_dirents, call::open, call::writefile, call::mkdir, call::rmdir, call::unlink,
                          call::chdir, call::vornfs_stream_begin, call::mkfifo}) {
    EXPECT_EQ(serve_call(without_volume, {number, {kData, 0, 0}}).result, kNotImplemented) << number;
  }
  // The path: up to its NUL, at most kPathLimit bytes before it, never past the 32-bit space
  // (the host page after it holds a NUL that must not end a path).
  pages.map(0xFFFFF000, Pages::kPage);
  pages.map(uint64_t{1} << 32, Pages::kPage);
  pages.poke(0xFFFFFFFC, "abcd");
  pages.poke(kEnd - 2, "/a");
  const std::string longest(kPathLimit, 'a');
  pages.poke(kData + 0x10, longest);
  const std::pair<uint32_t, int32_t> paths[] = {{kData, 3}, {kData + 0x10, 3}, {0, kBadAddress}, {kEnd - 2, kBadAddress},
                                                {kData - 1, kBadAddress}, {0xFFFFFFFC, kBadAddress}};
  for (const auto& [address, result] : paths) EXPECT_EQ(serve(call::repair_dirents, {address}), result) << address;
  pages.poke(kData + 0x10, longest + 'a');
  EXPECT_EQ(serve(call::repair_dirents, {kData + 0x10}), kNameTooLong);
  EXPECT_EQ(volume.paths, (std::vector<std::string>{"/Photos", longest}));
}

// No program can make the hooks hold more than their limits, however long it tries.
TEST_F(Calls, TestHooksHoldBoundedMemory) {
  pages.map(0x40000000, 16 << 20);
  EXPECT_EQ(control(Op::capture_start), 0);
  EXPECT_EQ(serve(call::write, {1, 0x40000000, 16 << 20}), int32_t{16 << 20});
  EXPECT_EQ(serve(call::write, {1, kData, 1}), -28);
  EXPECT_EQ(script({call::read, AnswerKind::input, 0, 0x40000000, 16 << 20}), 0);
  EXPECT_EQ(script({call::read, AnswerKind::input, 0, kData, 1}), -12);
  for (size_t queued = 1; queued < TestHooks::kAnswerLimit; ++queued) ASSERT_EQ(script({call::write, AnswerKind::result, 0, 0, 0}), 0);
  EXPECT_EQ(script({call::write, AnswerKind::result, 0, 0, 0}), -12);
  EXPECT_EQ(control(Op::script_clear), 0);
  EXPECT_EQ(script({call::read, AnswerKind::input, 0, kData, 1}), 0);
}


TEST(TracePrinter, DecodesEachKindOfArgument) {
  Pages pages;
  pages.map(0x50000000, Pages::kPage);
  pages.poke(0x50000000, std::string_view("/docs\0", 6));
  pages.poke(0x50000100, "mendir: repaired 3 entries under /\n");
  pages.poke(0x50000200, std::string_view("\xff\x01\"\\\t\r\na", 8));
  const int32_t ends[] = {3, 4};
  pages.poke(0x50000300, std::string_view(reinterpret_cast<const char*>(ends), sizeof ends));
  const uint32_t record[] = {0x50000000, 0x50000500, 2, 5, 0xffffffff, 2, 1};
  pages.poke(0x50000400, std::string_view(reinterpret_cast<const char*>(record), sizeof record));
  const struct {
    KernelCall call;
    std::optional<int32_t> result;
    std::string line;
  } cases[] = {
      {{call::write, {1, 0x50000100, 35}}, 35, R"(write(1, "mendir: repaired 3 entries under"..., 35) = 35)"},
      {{call::write, {1, 0x50000200, 8}}, 8, R"(write(1, "\xff\x01\"\\\t\r\na", 8) = 8)"},
      {{call::write, {2, 0, 5}}, -14, "write(2, NULL, 5) = -14 EFAULT"},
      {{call::read, {0, 0x50000000, 100}}, 5, R"(read(0, "/docs", 100) = 5)"},
      {{call::read, {0, 0x50000000, 100}}, 0, "read(0, 0x50000000, 100) = 0"},
      {{call::exit, {0xffffffff}}, std::nullopt, "exit(-1)"},
      {{call::repair_dirents, {0x50000000}}, -38, R"(repair_dirents("/docs") = -38 ENOSYS)"},
      {{call::open, {0x50000000, 0x241, 0}}, 3, R"(open("/docs", O_WRONLY|O_CREAT|O_TRUNC, 0) = 3)"},
      {{call::open, {0x50000000, 0x100482, 0}}, 3, R"(open("/docs", O_RDWR|O_EXCL|O_APPEND|0x100000, 0) = 3)"},
      {{call::lseek, {3, 0xfffffffb, 2}}, 7, "lseek(3, -5, SEEK_END) = 7"},
      {{call::lseek, {3, 0, 9}}, -22, "lseek(3, 0, 9) = -22 EINVAL"},
      {{call::getcwd, {0x50000000, 2, 0}}, -34, "getcwd(0x50000000, 2, 0) = -34 ERANGE"},
      {{call::mmap, {0, 4096, 3, 0x22, 0xffffffff, 0}}, -38,
       "mmap(NULL, 4096, PROT_READ|PROT_WRITE, MAP_PRIVATE|MAP_ANONYMOUS, -1, 0) = -38 ENOSYS"},
      {{call::mmap, {0x48000000, 8192, 5, 0x12, 3, 4096}}, int32_t(0xb7f00000),
       "mmap(0x48000000, 8192, PROT_READ|PROT_EXEC, MAP_PRIVATE|MAP_FIXED, 3, 4096) = 0xb7f00000"},
      {{call::mmap, {0, 4096, 0, 0x101, 0xffffffff, 0}}, -1, "mmap(NULL, 4096, PROT_NONE, MAP_SHARED|0x100, -1, 0) = -1 EPERM"},
      {{call::mmap, {0, 4096, 8, 0, 0xffffffff, 0}}, 0x40000000, "mmap(NULL, 4096, 0x8, 0, -1, 0) = 0x40000000"},
      {{call::pipe, {0x50000300}}, 0, "pipe([3, 4]) = 0"},
      {{call::pipe, {0x50000300}}, -24, "pipe(0x50000300) = -24 EMFILE"},
      {{call::pipe, {0x60000000}}, 0, "pipe(0x60000000) = 0"},  // unreadable: the address alone
      {{call::spawn_ex, {0x50000400, 2}}, 7,
       R"(spawn_ex({path="/docs", argv=0x50000500, argc=2, a=5, b=-1, c=2, flag=1}, 2) = 7)"},
      {{call::spawn_ex, {0x50000ff0, 2}}, -14, "spawn_ex(0x50000ff0, 2) = -14 EFAULT"},  // the record runs off the page
      {{call::spawn, {0x50000000, 0, 130000}}, -7, R"(spawn("/docs", NULL, 130000) = -7 E2BIG)"},
      {{call::waitpid, {9, 0, 0}}, -10, "waitpid(9, NULL, 0) = -10 ECHILD"},
      {{200, {1, 2, 3}}, -38, "call_200(0x1, 0x2, 0x3) = -38 ENOSYS"},
      {{test_control::kCallNumber, {4, 0x50000000, 64}}, 2, "test_control(capture_stop, 0x50000000, 64) = 2"},
      {{test_control::kCallNumber, {99}}, -22, "test_control(0x63, NULL, 0) = -22 EINVAL"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_call(c.call, c.result, pages.memory), c.line);
}

TEST(Diagnostics, NamesAreShownEscaped) {
  EXPECT_EQ(printable("a\x1b[2J\nb\\ \x7f é \xc2\x9b \xff\xc3"), "a\\x1b[2J\\x0ab\\\\ \\x7f é \\xc2\\x9b \\xff\\xc3");
}

}  // namespace
}  // namespace vornos::kernel
