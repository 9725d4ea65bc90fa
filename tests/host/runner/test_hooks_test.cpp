// The test-control call: recording, capture and scripted answers, served through the call table.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>

#include "calls/call_table.h"
#include "calls/error_codes.h"
#include "fake_memory.h"
#include "host_pipe.h"
#include "test_hooks/control_abi.h"
#include "test_hooks/test_hooks.h"
#include "calls/call_numbers.h"

namespace vornos::kernel {
namespace {

using test_control::AnswerKind;
using test_control::CallRecord;
using test_control::kCallNumber;
using test_control::Op;
using test_control::ScriptedAnswer;
using testing::FakeMemory;
using testing::HostPipe;

class TestHooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);
    memory.map(kData, FakeMemory::kPage);
    memory.map(kOut, FakeMemory::kPage);
    memory.poke(kData, "abcdefgh");
  }
  int32_t serve(uint32_t number, std::array<uint32_t, 6> args = {}) { return table.serve({number, args}, memory).result; }
  int32_t control(Op op, uint32_t first = 0, uint32_t second = 0) {
    return serve(kCallNumber, {static_cast<uint32_t>(op), first, second});
  }
  int32_t script(ScriptedAnswer answer) {
    memory.poke(kAnswer, std::string_view(reinterpret_cast<const char*>(&answer), sizeof answer));
    return control(Op::script, kAnswer);
  }
  CallRecord record_at(uint32_t index) {
    CallRecord record;
    const std::string bytes = memory.peek(kOut + index * sizeof(CallRecord), sizeof(CallRecord));
    std::memcpy(&record, bytes.data(), sizeof record);
    return record;
  }

  static constexpr uint32_t kData = 0x600000;
  static constexpr uint32_t kAnswer = kData + 0x800;
  static constexpr uint32_t kOut = 0x610000;
  FakeMemory memory;
  HostPipe input_pipe, output_pipe;
  HostInput input{input_pipe.read_end};
  HostOutput output{output_pipe.write_end};
  Process process{input, output};
  TestHooks hooks;
  CallTable table{process, nullptr, &hooks};
};

TEST_F(TestHooksTest, RecordsEveryCallWithItsRegistersButNotControlCalls) {
  EXPECT_EQ(serve(call::write, {1, kData, 1}), 1);  // before the recording: not recorded
  EXPECT_EQ(control(Op::record_start), 0);
  EXPECT_EQ(serve(call::write, {1, kData, 2, 0x11, 0x22, 0x33}), 2);
  EXPECT_EQ(serve(200, {7, 8, 9, 10, 11, 12}), kNotImplemented);
  EXPECT_EQ(control(Op::capture_start), 0);
  EXPECT_EQ(control(Op::capture_stop, 0, 0), 0);
  memory.poke(kOut + sizeof(CallRecord), "canary");
  // Room for one record: the count says two were made; only the first is copied.
  EXPECT_EQ(control(Op::record_stop, kOut, 1), 2);
  const CallRecord first = record_at(0);
  EXPECT_EQ(first.number, uint32_t{call::write});
  EXPECT_EQ(first.ebx, 1u);
  EXPECT_EQ(first.ecx, kData);
  EXPECT_EQ(first.edx, 2u);
  EXPECT_EQ(first.esi, 0x11u);
  EXPECT_EQ(first.edi, 0x22u);
  EXPECT_EQ(first.ebp, 0x33u);
  EXPECT_EQ(memory.peek(kOut + sizeof(CallRecord), 6), "canary");

  // Stopped: later calls are not recorded; a new start forgets the old records.
  EXPECT_EQ(serve(call::write, {1, kData, 1}), 1);
  EXPECT_EQ(control(Op::record_start), 0);
  EXPECT_EQ(serve(200, {5}), kNotImplemented);
  EXPECT_EQ(control(Op::record_stop, kOut, 4), 1);
  EXPECT_EQ(record_at(0).number, 200u);
  EXPECT_EQ(record_at(0).ebx, 5u);
  EXPECT_EQ(output_pipe.drain(), "a" "ab" "a");
}

TEST_F(TestHooksTest, RecordStopIntoBadMemory) {
  EXPECT_EQ(control(Op::record_start), 0);
  EXPECT_EQ(serve(200), kNotImplemented);
  EXPECT_EQ(control(Op::record_stop, 0, 4), kBadAddress);
  EXPECT_EQ(control(Op::record_start), 0);
  EXPECT_EQ(serve(200), kNotImplemented);
  EXPECT_EQ(control(Op::record_stop, 0, 0), 1);  // nothing to copy: only the count
}

TEST_F(TestHooksTest, CaptureKeepsDescriptorOneOutputFromStandardOutput) {
  EXPECT_EQ(control(Op::capture_start), 0);
  EXPECT_EQ(serve(call::write, {1, kData, 3}), 3);
  EXPECT_EQ(serve(call::write, {1, kData + 3, 2}), 2);
  EXPECT_EQ(serve(call::write, {1, 0, 2}), kBadAddress);
  EXPECT_EQ(serve(call::write, {2, kData, 2}), kBadDescriptor);
  EXPECT_EQ(output_pipe.drain(), "");
  memory.poke(kOut + 3, "!");
  EXPECT_EQ(control(Op::capture_stop, kOut, 3), 5);
  EXPECT_EQ(memory.peek(kOut, 4), "abc!");
  // Capturing ended: output flows again, and the next capture starts empty.
  EXPECT_EQ(serve(call::write, {1, kData + 7, 1}), 1);
  EXPECT_EQ(output_pipe.drain(), "h");
  EXPECT_EQ(control(Op::capture_start), 0);
  EXPECT_EQ(serve(call::write, {1, kData, 1}), 1);
  EXPECT_EQ(control(Op::capture_stop, kOut, 64), 1);
  EXPECT_EQ(control(Op::capture_stop, kOut, 64), 1) << "the last capture stays readable until the next start";
}

TEST_F(TestHooksTest, ScriptedResultsAnswerWithoutServingInQueuedOrder) {
  ASSERT_EQ(script({call::write, AnswerKind::result, -5, 0, 0}), 0);
  ASSERT_EQ(script({call::write, AnswerKind::result, 0, 0, 0}), 0);
  ASSERT_EQ(script({call::repair_dirents, AnswerKind::result, 7, 0, 0}), 0);
  EXPECT_EQ(serve(call::repair_dirents, {0}), 7);  // no volume and a null path: still 7
  EXPECT_EQ(serve(call::write, {1, kData, 3}), -5);
  EXPECT_EQ(serve(call::write, {1, kData, 3}), 0);
  EXPECT_EQ(serve(call::write, {1, kData, 3}), 3);  // the queue is used up: served again
  EXPECT_EQ(output_pipe.drain(), "abc");
}

TEST_F(TestHooksTest, AScriptedExitReturnsToTheProgram) {
  ASSERT_EQ(script({call::exit, AnswerKind::result, 0, 0, 0}), 0);
  const CallOutcome outcome = table.serve({call::exit, {5}}, memory);
  EXPECT_FALSE(outcome.ends_program);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_TRUE(table.serve({call::exit, {5}}, memory).ends_program);
}

TEST_F(TestHooksTest, ShortWritesTakeAtMostTheGivenCount) {
  ASSERT_EQ(script({call::write, AnswerKind::short_write, 2, 0, 0}), 0);
  ASSERT_EQ(script({call::write, AnswerKind::short_write, 0, 0, 0}), 0);
  ASSERT_EQ(script({call::write, AnswerKind::short_write, 100, 0, 0}), 0);
  EXPECT_EQ(serve(call::write, {1, kData, 5}), 2);
  EXPECT_EQ(serve(call::write, {1, kData + 2, 5}), 0);
  EXPECT_EQ(serve(call::write, {1, kData + 2, 3}), 3);
  EXPECT_EQ(output_pipe.drain(), "abcde");
}

TEST_F(TestHooksTest, ScriptedInputIsCopiedWhenScriptedAndUsedOnce) {
  memory.poke(kData + 0x100, "typed");
  ASSERT_EQ(script({call::read, AnswerKind::input, 0, kData + 0x100, 5}), 0);
  ASSERT_EQ(script({call::read, AnswerKind::input, 0, kData + 0x100, 5}), 0);
  memory.poke(kData + 0x100, "XXXXX");  // too late to change the answers
  input_pipe.fill("host");
  EXPECT_EQ(serve(call::read, {0, kOut, 3}), 3);
  EXPECT_EQ(memory.peek(kOut, 3), "typ");
  EXPECT_EQ(serve(call::read, {0, 0, 64}), kBadAddress);  // uses up the second answer
  EXPECT_EQ(serve(call::read, {0, kOut, 64}), 4);
  EXPECT_EQ(memory.peek(kOut, 4), "host");
}

TEST_F(TestHooksTest, MistakenScriptsAndOperationsAreRefused) {
  EXPECT_EQ(script({call::read, AnswerKind::short_write, 1, 0, 0}), kInvalidArgument);
  EXPECT_EQ(script({call::write, AnswerKind::short_write, -1, 0, 0}), kInvalidArgument);
  EXPECT_EQ(script({call::write, AnswerKind::input, 0, kData, 1}), kInvalidArgument);
  EXPECT_EQ(script({call::read, static_cast<AnswerKind>(9), 0, 0, 0}), kInvalidArgument);
  EXPECT_EQ(script({kCallNumber, AnswerKind::result, 0, 0, 0}), kInvalidArgument);
  EXPECT_EQ(script({call::read, AnswerKind::input, 0, 0, 4}), kBadAddress);
  EXPECT_EQ(script({call::read, AnswerKind::input, 0, kData, TestHooks::kInputLimit + 1}), kInvalidArgument);
  EXPECT_EQ(control(Op::script, 0), kBadAddress);
  EXPECT_EQ(control(static_cast<Op>(0)), kInvalidArgument);
  EXPECT_EQ(control(static_cast<Op>(77)), kInvalidArgument);
  // None of those queued anything.
  EXPECT_EQ(serve(call::write, {1, kData, 1}), 1);
  input_pipe.fill("z");
  EXPECT_EQ(serve(call::read, {0, kOut, 1}), 1);
}

TEST_F(TestHooksTest, ScriptClearDropsEveryAnswer) {
  ASSERT_EQ(script({call::write, AnswerKind::result, -5, 0, 0}), 0);
  ASSERT_EQ(script({call::read, AnswerKind::result, -5, 0, 0}), 0);
  EXPECT_EQ(control(Op::script_clear), 0);
  EXPECT_EQ(serve(call::write, {1, kData, 1}), 1);
  input_pipe.fill("z");
  EXPECT_EQ(serve(call::read, {0, kOut, 1}), 1);
}

TEST_F(TestHooksTest, ScriptedCallsAreRecordedToo) {
  ASSERT_EQ(script({call::write, AnswerKind::result, -5, 0, 0}), 0);
  EXPECT_EQ(control(Op::record_start), 0);
  EXPECT_EQ(serve(call::write, {1, kData, 0x7fffffff}), -5);
  EXPECT_EQ(control(Op::record_stop, kOut, 1), 1);
  EXPECT_EQ(record_at(0).edx, 0x7fffffffu);
}

}  // namespace
}  // namespace vornos::kernel
