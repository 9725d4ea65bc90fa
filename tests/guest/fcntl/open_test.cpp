// The file-opening wrappers: refusal, the mode passed only with the create bit, creat's
// fixed flags, and the kernel's result passed through.
#include <fcntl.h>
#include <stdint.h>

#include "kernel_control.h"
#include "vornos/kernel_call.h"
#include "vtest.h"

using vtest::CallRecorder;

namespace {

const char kPath[] = "/docs/a.txt";

// Makes one call of `opener` answered by `result`; checks that it was call 4 with the path,
// `flags` and `mode`, and that the wrapper handed the result back.
template <typename Opener>
void expect_open_call(Opener opener, int32_t result, uint32_t flags, uint32_t mode) {
  vtest::script_result(SYS_open, result);
  CallRecorder calls;
  EXPECT_EQ(opener(), result);
  ASSERT_EQ(calls.stop(), 1);
  const uint32_t expected[] = {SYS_open, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kPath)), flags, mode};
  EXPECT_BYTES(&calls[0], expected, sizeof expected);
}

}  // namespace

TEST(Open, RefusesNullPathWithoutCall) {
  CallRecorder calls;
  const int results[] = {open(nullptr, O_RDONLY), open(nullptr, O_CREAT | O_WRONLY, 0644), creat(nullptr, 0644)};
  for (int result : results) EXPECT_EQ(result, -1);
  EXPECT_EQ(calls.stop(), 0);
}

// Rows of creat (flags -1): its fixed flags 0x241 and mode 0 whatever the mode given.
TEST(Open, PassesTheModeOnlyWithTheCreateBitAndTheResultUnchanged) {
  const struct { int flags, mode; uint32_t passed_mode; int32_t result; } cases[] = {
      {O_CREAT | O_WRONLY, 0644, 0644, 3}, {O_CREAT, 0x12345, 0x12345, -2},
      {O_RDONLY, 0777, 0, 2},              // given but not asked for: not passed
      {0x80, 0777, 0, -38},                // other bits are no create bit
      {0x7FFFFFBF, 0777, 0, 5},            // every bit but the create bit, unchanged
      {-1, 0644, 0, 5}, {-1, -1, 0, -13},
  };
  for (const auto& c : cases) {
    if (c.flags == -1) expect_open_call([&] { return creat(kPath, c.mode); }, c.result, 0x241, 0);
    else expect_open_call([&] { return open(kPath, c.flags, c.mode); }, c.result, c.flags, c.passed_mode);
  }
  expect_open_call([] { return open(kPath, O_RDONLY); }, 4, 0, 0);  // no mode argument at all
}

// The gate's five-argument form, which no wrapper uses (mmap's row shows the six).
TEST(KernelCall, EachArgumentReachesItsRegister) {
  CallRecorder calls;
  EXPECT_EQ(vornos::kernel_call(201, 1u, 2u, 3u, 4u, 5u), -38);
  ASSERT_EQ(calls.stop(), 1);
  const uint32_t five[] = {201, 1, 2, 3, 4, 5};
  EXPECT_BYTES(&calls[0], five, sizeof five);
}
