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

namespace {

uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// The one call that a wrapper made: its number and its first three argument registers.
void expect_single_call(const CallRecorder& calls, uint32_t number, uint32_t ebx, uint32_t ecx,
                        uint32_t edx) {
  ASSERT_EQ(calls.count(), 1);
  EXPECT_EQ(calls[0].number, number);
  EXPECT_EQ(calls[0].ebx, ebx);
  EXPECT_EQ(calls[0].ecx, ecx);
  EXPECT_EQ(calls[0].edx, edx);
}

}  // namespace

TEST(Write, ClampsOnlyCountsAboveTheSignedRange) {
  const char text[] = "x";
  const struct {
    unsigned count, passed;
  } cases[] = {{0xFFFFFFFFu, 0x7fffffffu}, {0x80000000u, 0x7fffffffu},
               {0x7fffffffu, 0x7fffffffu}, {5, 5}};
  for (const auto& c : cases) {
    // Answered by script: the kernel never reads the buffer.
    vtest::script_result(SYS_write, 3);
    CallRecorder calls;
    EXPECT_EQ(write(1, text, c.count), 3);
    calls.stop();
    expect_single_call(calls, SYS_write, 1, word(text), c.passed);
  }
}

TEST(Write, PassesDescriptorAndKernelResultUnchanged) {
  vtest::script_result(SYS_write, -9);
  CallRecorder calls;
  EXPECT_EQ(write(-4, "ab", 2), -9);
  calls.stop();
  ASSERT_EQ(calls.count(), 1);
  EXPECT_EQ(calls[0].ebx, static_cast<uint32_t>(-4));
  EXPECT_EQ(calls[0].edx, 2u);
}

TEST(Read, RefusesNullBufferWithoutCall) {
  CallRecorder calls;
  EXPECT_EQ(read(0, nullptr, 4), -1);
  EXPECT_EQ(calls.stop(), 0);
}

TEST(Read, ZeroAndSmallCountsPassUnchanged) {
  char buf[4];
  const unsigned counts[] = {0u, 4u, 0x7fffffffu};
  for (unsigned count : counts) {
    vtest::script_result(SYS_read, 0);
    CallRecorder calls;
    EXPECT_EQ(read(0, buf, count), 0);
    calls.stop();
    expect_single_call(calls, SYS_read, 0, word(buf), count);
  }
}

TEST(DescriptorCalls, PassArgumentsAndResultsUnchanged) {
  {
    vtest::script_result(SYS_close, -9);
    CallRecorder calls;
    EXPECT_EQ(close(3), -9);
    calls.stop();
    ASSERT_EQ(calls.count(), 1);
    EXPECT_EQ(calls[0].number, static_cast<uint32_t>(SYS_close));
    EXPECT_EQ(calls[0].ebx, 3u);
  }
  {
    vtest::script_result(SYS_dup, 4);
    CallRecorder calls;
    EXPECT_EQ(dup(1), 4);
    calls.stop();
    ASSERT_EQ(calls.count(), 1);
    EXPECT_EQ(calls[0].number, static_cast<uint32_t>(SYS_dup));
    EXPECT_EQ(calls[0].ebx, 1u);
  }
  {
    vtest::script_result(SYS_dup2, 1);
    CallRecorder calls;
    EXPECT_EQ(dup2(3, 1), 1);
    calls.stop();
    expect_single_call(calls, SYS_dup2, 3, 1, 0);  // the third register is a fixed 0
  }
  {
    vtest::script_result(SYS_fd_set_stdio, 0);
    CallRecorder calls;
    EXPECT_EQ(fd_set_stdio(5, -1, 0x12345678), 0);
    calls.stop();
    expect_single_call(calls, SYS_fd_set_stdio, 5, static_cast<uint32_t>(-1), 0x12345678);
  }
  {
    vtest::script_result(SYS_lseek, -22);
    CallRecorder calls;
    EXPECT_EQ(lseek(6, -10, SEEK_END), -22);
    calls.stop();
    expect_single_call(calls, SYS_lseek, 6, static_cast<uint32_t>(-10), 2);
  }
  {
    vtest::script_result(SYS_lseek, 0x7ffffff0);
    CallRecorder calls;
    EXPECT_EQ(lseek(6, 0x7ffffff0, SEEK_SET), 0x7ffffff0);
    calls.stop();
    expect_single_call(calls, SYS_lseek, 6, 0x7ffffff0, 0);
  }
}

TEST(Pipe, RefusesNullArrayAndPassesTheArrayAddress) {
  {
    CallRecorder calls;
    EXPECT_EQ(pipe(nullptr), -1);
    EXPECT_EQ(calls.stop(), 0);
  }
  int fds[2] = {-1, -1};
  vtest::script_result(SYS_pipe, -24);
  CallRecorder calls;
  EXPECT_EQ(pipe(fds), -24);
  calls.stop();
  ASSERT_EQ(calls.count(), 1);
  EXPECT_EQ(calls[0].number, static_cast<uint32_t>(SYS_pipe));
  EXPECT_EQ(calls[0].ebx, word(fds));
}

TEST(Mkfifo, RefusesNullPathAndPassesOnlyThePath) {
  {
    CallRecorder calls;
    EXPECT_EQ(mkfifo(nullptr, 0666), -1);
    EXPECT_EQ(calls.stop(), 0);
  }
  const char path[] = "/tmp/fifo";
  vtest::script_result(SYS_mkfifo, 0);
  CallRecorder calls;
  EXPECT_EQ(mkfifo(path, 0666), 0);
  calls.stop();
  ASSERT_EQ(calls.count(), 1);
  EXPECT_EQ(calls[0].number, static_cast<uint32_t>(SYS_mkfifo));
  EXPECT_EQ(calls[0].ebx, word(path));
}

TEST(TruthValues, BecomeExactlyOneOrZero) {
  const struct {
    int given;
    uint32_t passed;
  } cases[] = {{7, 1}, {0, 0}, {-1, 1}, {1, 1}, {static_cast<int>(0x80000000u), 1}};
  for (const auto& c : cases) {
    vtest::script_result(SYS_fd_set_inherit, 5);
    vtest::script_result(SYS_fd_set_nonblock, -9);
    CallRecorder calls;
    EXPECT_EQ(fd_set_inherit(c.given), 5);
    EXPECT_EQ(fd_set_nonblock(3, c.given), -9);
    calls.stop();
    ASSERT_EQ(calls.count(), 2);
    EXPECT_EQ(calls[0].number, static_cast<uint32_t>(SYS_fd_set_inherit));
    EXPECT_EQ(calls[0].ebx, c.passed);
    EXPECT_EQ(calls[1].number, static_cast<uint32_t>(SYS_fd_set_nonblock));
    EXPECT_EQ(calls[1].ebx, 3u);
    EXPECT_EQ(calls[1].ecx, c.passed);
    EXPECT_EQ(calls[1].edx, 0u);
  }
}

TEST(Access, RefusesNullPathWithoutCall) {
  CallRecorder calls;
  EXPECT_EQ(access(nullptr, 0), -1);
  EXPECT_EQ(calls.stop(), 0);
}

TEST(Access, OpensThenClosesAndIgnoresTheCloseResult) {
  const char path[] = "/docs";
  vtest::script_result(SYS_open, 7);
  vtest::script_result(SYS_close, -9);
  CallRecorder calls;
  EXPECT_EQ(access(path, 0x7), 0);  // the mode is not examined
  calls.stop();
  ASSERT_EQ(calls.count(), 2);
  EXPECT_EQ(calls[0].number, static_cast<uint32_t>(SYS_open));
  EXPECT_EQ(calls[0].ebx, word(path));
  EXPECT_EQ(calls[0].ecx, 0u);
  EXPECT_EQ(calls[0].edx, 0u);
  EXPECT_EQ(calls[1].number, static_cast<uint32_t>(SYS_close));
  EXPECT_EQ(calls[1].ebx, 7u);
}

TEST(Access, FailedOpenIsMinusOneWithoutClose) {
  vtest::script_result(SYS_open, -2);
  CallRecorder calls;
  EXPECT_EQ(access("/missing", 0), -1);  // the kernel's code is not passed on
  calls.stop();
  ASSERT_EQ(calls.count(), 1);
  EXPECT_EQ(calls[0].number, static_cast<uint32_t>(SYS_open));
}
