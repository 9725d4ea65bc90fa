// The call table and the test-control call over fake memory and a host pipe.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "calls/call_numbers.h"
#include "calls/call_table.h"
#include "calls/error_codes.h"
#include "fake_memory.h"
#include "test_hooks/control_abi.h"
#include "test_hooks/test_hooks.h"

namespace vornos::kernel {
namespace {

using namespace test_control;
using testing::FakeMemory;

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

}  // namespace
}  // namespace vornos::kernel
