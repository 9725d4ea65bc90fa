// The descriptor wrappers: what each passes at the gate, what it refuses, what it returns.
#include <fcntl.h>
#include <unistd.h>

#include "kernel_control.h"
#include "vtest.h"

using vtest::CallRecorder;

TEST(Write, RefusesNullBufferWithoutCall) {
  CallRecorder calls;
  EXPECT_EQ(write(1, nullptr, 5), -1);
  EXPECT_EQ(calls.stop(), 0);
}

TEST(Write, ZeroCountIsARealCall) {
  vtest::script_result(SYS_write, 0);
  CallRecorder calls;
  const char text[] = "x";
  EXPECT_EQ(write(1, text, 0), 0);
  ASSERT_EQ(calls.stop(), 1);
  EXPECT_EQ(calls[0].number, static_cast<uint32_t>(SYS_write));
  EXPECT_EQ(calls[0].ebx, 1u);
  EXPECT_EQ(calls[0].ecx, reinterpret_cast<uintptr_t>(text));
  EXPECT_EQ(calls[0].edx, 0u);
}

TEST(Read, ClampsCountAndPassesKernelResult) {
  vtest::script_result(SYS_read, -9);
  CallRecorder calls;
  char buf[4];
  EXPECT_EQ(read(7, buf, 0xFFFFFFFFu), -9);
  ASSERT_EQ(calls.stop(), 1);
  EXPECT_EQ(calls[0].number, static_cast<uint32_t>(SYS_read));
  EXPECT_EQ(calls[0].ebx, 7u);
  EXPECT_EQ(calls[0].edx, 0x7fffffffu);
}

TEST(Read, TakesScriptedInput) {
  vtest::script_input("hello", 5);
  char buf[8] = {};
  EXPECT_EQ(read(0, buf, 3), 3);
  EXPECT_BYTES(buf, "hel\0", 4);
}
