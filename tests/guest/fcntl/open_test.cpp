// The file-opening wrappers: refusal, the mode passed only with the create bit, creat's
// fixed flags, and the kernel's result passed through.
#include <fcntl.h>
#include <stdint.h>

#include "kernel_control.h"
#include "vtest.h"

using vtest::CallRecorder;

namespace {

uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

const char kPath[] = "/docs/a.txt";

void expect_open_call(const CallRecorder& calls, uint32_t flags, uint32_t mode) {
  ASSERT_EQ(calls.count(), 1);
  EXPECT_EQ(calls[0].number, static_cast<uint32_t>(SYS_open));
  EXPECT_EQ(calls[0].ebx, word(kPath));
  EXPECT_EQ(calls[0].ecx, flags);
  EXPECT_EQ(calls[0].edx, mode);
}

}  // namespace

TEST(Open, RefusesNullPathWithoutCall) {
  CallRecorder calls;
  EXPECT_EQ(open(nullptr, O_RDONLY), -1);
  EXPECT_EQ(open(nullptr, O_CREAT | O_WRONLY, 0644), -1);
  EXPECT_EQ(calls.stop(), 0);
}

TEST(Open, PassesTheModeOnlyWithTheCreateBit) {
  const struct {
    int flags;
    int mode;
    uint32_t passed_mode;
  } cases[] = {
      {O_CREAT | O_WRONLY, 0644, 0644},
      {O_CREAT, 0x12345, 0x12345},
      {O_CREAT | O_WRONLY | O_TRUNC, 0, 0},
      {O_RDONLY, 0777, 0},          // given but not asked for: not passed
      {O_WRONLY | O_TRUNC, 0777, 0},
      {0x80, 0777, 0},              // other bits are no create bit
  };
  for (const auto& c : cases) {
    vtest::script_result(SYS_open, 3);
    CallRecorder calls;
    EXPECT_EQ(open(kPath, c.flags, c.mode), 3);
    calls.stop();
    expect_open_call(calls, static_cast<uint32_t>(c.flags), c.passed_mode);
  }
}

TEST(Open, WithoutAModeArgumentPassesZero) {
  vtest::script_result(SYS_open, 4);
  CallRecorder calls;
  EXPECT_EQ(open(kPath, O_RDONLY), 4);
  calls.stop();
  expect_open_call(calls, 0, 0);
}

TEST(Open, PassesFlagsAndKernelResultUnchanged) {
  const int32_t results[] = {0, 2, -2, -38};
  for (int32_t result : results) {
    vtest::script_result(SYS_open, result);
    CallRecorder calls;
    EXPECT_EQ(open(kPath, 0x7FFFFFBF), result);  // every bit but the create bit
    calls.stop();
    expect_open_call(calls, 0x7FFFFFBF, 0);
  }
}

TEST(Creat, RefusesNullPathWithoutCall) {
  CallRecorder calls;
  EXPECT_EQ(creat(nullptr, 0644), -1);
  EXPECT_EQ(calls.stop(), 0);
}

TEST(Creat, FixedFlagsAndModeZeroWhateverTheModeGiven) {
  const int modes[] = {0644, 0, -1};
  const int32_t results[] = {5, -13, 0};
  for (int i = 0; i < 3; ++i) {
    vtest::script_result(SYS_open, results[i]);
    CallRecorder calls;
    EXPECT_EQ(creat(kPath, modes[i]), results[i]);
    calls.stop();
    expect_open_call(calls, 0x241, 0);
  }
}
