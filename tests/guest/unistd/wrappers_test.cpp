// The kernel-call wrappers (open and creat among them): what each refuses without a call,
// what it passes at the gate and what it returns.
#include <fcntl.h>
#include <unistd.h>

#include "kernel_control.h"
#include "vornos/kernel_call.h"
#include "vtest.h"

using vtest::CallRecorder;

namespace {

using vtest::word;
uint32_t u(int value) { return static_cast<uint32_t>(value); }
int address(const void* p) { return static_cast<int>(word(p)); }

char g_path[] = "/apps/tool";
char* g_argv[] = {g_path, nullptr};
char g_buf[8];
int g_ints[2];
constexpr uint32_t kMax = 0x7fffffff;

// One wrapper call: the kernel answers `answer`, and the wrapper returns `result` after one
// call `number` whose first `used` registers (ebx, ecx, edx, esi, edi, ebp) hold `regs`.
struct Row { int (*call)(); int32_t answer, result; uint32_t number; int used; uint32_t regs[6]; };

void check(const Row& r) {
  vtest::script_result(r.number, r.answer);
  CallRecorder calls;
  const int result = r.call();
  calls.stop();
  uint32_t want[9] = {u(r.result), 1, r.number}, got[9] = {u(result), u(calls.count()), calls[0].number};
  for (int i = 0; i < r.used; ++i) want[3 + i] = r.regs[i], got[3 + i] = (&calls[0].ebx)[i];  // in order
  EXPECT_BYTES(got, want, sizeof got);  // result, calls, number, registers
}

}  // namespace

TEST(Wrappers, RefuseUnusableArgumentsWithoutACall) {
  CallRecorder calls;
  const int results[] = {
      write(1, nullptr, 5), read(0, nullptr, 4), pipe(nullptr), mkfifo(nullptr, 0666), access(nullptr, 0),
      spawn(nullptr, g_argv, 1), spawn(g_path, g_argv, -1), spawn_ex(nullptr, g_argv, 1, 0, 0, 0, 0),
      spawn_ex(g_path, g_argv, -1, 0, 0, 0, 0), writefile(nullptr, g_buf, 1), writefile(g_path, nullptr, 0),
      mkdir(nullptr, 0755), unlink(nullptr), rmdir(nullptr), chdir(nullptr), getcwd(nullptr, 8), getcwd(g_buf, 0),
      vornfs_stream_begin(nullptr), vornfs_stream_write(3, nullptr, 1), address(mmap(g_buf, 0, 3, 0x22, -1, 0)),
      open(nullptr, O_RDONLY), open(nullptr, O_CREAT | O_WRONLY, 0644), creat(nullptr, 0644)};
  EXPECT_EQ(calls.stop(), 0);
  for (int result : results) EXPECT_EQ(result, -1);
}

TEST(Wrappers, PassArgumentsClampedAndNormalisedAndTheKernelsResult) {
  const Row rows[] = {
      {[] { return write(-4, g_buf, ~0u); }, -9, -9, SYS_write, 3, {u(-4), word(g_buf), kMax}},
      {[] { return read(7, g_buf, ~0u); }, -9, -9, SYS_read, 3, {7, word(g_buf), kMax}},
      {[] { return close(3); }, -9, -9, SYS_close, 1, {3}}, {[] { return dup(1); }, 4, 4, SYS_dup, 1, {1}},
      {[] { return dup2(3, 1); }, 1, 1, SYS_dup2, 3, {3, 1, 0}},
      {[] { return pipe(g_ints); }, -24, -24, SYS_pipe, 1, {word(g_ints)}},
      {[] { return mkfifo(g_path, 0666); }, 0, 0, SYS_mkfifo, 1, {word(g_path)}},
      {[] { return fd_set_inherit(7); }, 5, 5, SYS_fd_set_inherit, 1, {1}},
      {[] { return fd_set_inherit(0); }, 5, 5, SYS_fd_set_inherit, 1, {0}},
      {[] { return fd_set_nonblock(3, -1); }, -9, -9, SYS_fd_set_nonblock, 3, {3, 1, 0}},
      {[] { return fd_set_stdio(5, -1, 0x12345678); }, 0, 0, SYS_fd_set_stdio, 3, {5, u(-1), 0x12345678}},
      {[] { return lseek(6, -10, SEEK_END); }, -22, -22, SYS_lseek, 3, {6, u(-10), 2}},
      {[] { return spawn(g_path, nullptr, 0); }, 12, 12, SYS_spawn, 3, {word(g_path), 0, 0}},
      {[] { return waitpid(-1, g_ints, 0x55); }, -10, -10, SYS_waitpid, 3, {u(-1), word(g_ints), 0x55}},
      {[] { return writefile(g_path, g_buf, 0x80000000u); }, -28, -28, SYS_writefile, 3,
       {word(g_path), word(g_buf), kMax}},
      {[] { return mkdir(g_path, 0755); }, -17, -17, SYS_mkdir, 1, {word(g_path)}},
      {[] { return unlink(g_path); }, -2, -2, SYS_unlink, 1, {word(g_path)}},
      {[] { return rmdir(g_path); }, -39, -39, SYS_rmdir, 1, {word(g_path)}},
      {[] { return chdir(g_path); }, -20, -20, SYS_chdir, 1, {word(g_path)}},
      {[] { return getcwd(g_buf, 8); }, 2, 2, SYS_getcwd, 3, {word(g_buf), 8, 0}},
      {[] { return getcwd(g_buf, 0x80000000u); }, 0, 0, SYS_getcwd, 3, {word(g_buf), kMax, 0}},
      {[] { return vornfs_stream_begin(g_path); }, 3, 3, SYS_vornfs_stream_begin, 1, {word(g_path)}},
      {[] { return vornfs_stream_write(-7, g_buf, ~0u); }, 0, 0, SYS_vornfs_stream_write, 3,
       {u(-7), word(g_buf), kMax}},
      {[] { return vornfs_stream_end(-7); }, -9, -9, SYS_vornfs_stream_end, 1, {u(-7)}},
      {[] { return getkey(); }, 0x1B, 0x1B, SYS_getkey, 0, {}},
      {[] { return usleep(1500); }, 7, 0, SYS_usleep, 1, {1500}},  // the kernel's answer is not passed on
      {[] { return address(mmap(g_buf, 4096, 3, 0x22, -1, 8192)); }, 0x40000000, 0x40000000, SYS_mmap, 6,
       {word(g_buf), 4096, 3, 0x22, u(-1), 8192}},
      {[] { return munmap(g_buf, 4096); }, -22, -22, SYS_munmap, 3, {word(g_buf), 4096, 0}},
      {[] { return vornos::kernel_call(201, 1u, 2u, 3u, 4u, 5u); }, 9, 9, 201, 5, {1, 2, 3, 4, 5}},  // the gate
      // open passes the mode only with the create bit (0x40), and every other bit unchanged;
      // creat has fixed flags and mode 0 whatever the mode given.
      {[] { return open(g_path, O_CREAT | O_WRONLY, 0644); }, 3, 3, SYS_open, 3, {word(g_path), 0x41, 0644}},
      {[] { return open(g_path, O_CREAT, 0x12345); }, -2, -2, SYS_open, 3, {word(g_path), 0x40, 0x12345}},
      {[] { return open(g_path, 0x7FFFFFBF, 0777); }, 5, 5, SYS_open, 3, {word(g_path), 0x7FFFFFBF, 0}},
      {[] { return open(g_path, O_RDONLY); }, 4, 4, SYS_open, 3, {word(g_path), 0, 0}},  // no mode at all
      {[] { return creat(g_path, 0644); }, 5, 5, SYS_open, 3, {word(g_path), 0x241, 0}},
      {[] { return access(g_path, 0); }, -2, -1, SYS_open, 3, {word(g_path), 0, 0}},  // no close after
  };
  for (const Row& r : rows) check(r);
}

TEST(Access, OpensThenClosesAndHidesTheKernelsCodes) {
  vtest::script_result(SYS_open, 7);
  vtest::script_result(SYS_close, -9);
  CallRecorder calls;
  EXPECT_EQ(access(g_path, 0x7), 0);  // the close's failure is ignored, the mode never read
  ASSERT_EQ(calls.stop(), 2);
  const uint32_t want[2][4] = {{SYS_open, word(g_path), 0, 0}, {SYS_close, 7}};
  for (int i = 0; i < 2; ++i) EXPECT_BYTES(&calls[i].number, want[i], i == 1 ? 8 : 16);
}

// The record lives on spawn_ex's stack only during the call. Made below a deep frame, it is
// left intact after the return, since the recorder's own calls run in shallower frames.
[[gnu::noinline]] int spawn_ex_deep(int argc, int flag) {
  volatile char depth[1024];
  depth[0] = 0;
  const int result = spawn_ex(g_path, g_argv, argc, 5, -6, 0x7007, flag);
  return result + depth[0];
}

TEST(SpawnEx, PassesTheSevenWordRecordAndTheCount) {
  const int flags[][2] = {{42, 1}, {0, 0}};
  for (const auto& flag : flags) {
    vtest::script_result(SYS_spawn_ex, 77);
    CallRecorder calls;
    EXPECT_EQ(spawn_ex_deep(2, flag[0]), 77);
    ASSERT_EQ(calls.stop(), 1);
    EXPECT_TRUE(calls[0].number == SYS_spawn_ex && calls[0].ecx == 2);
    const uint32_t record[7] = {word(g_path), word(g_argv), 2, 5, u(-6), 0x7007, u(flag[1])};
    EXPECT_BYTES(reinterpret_cast<const uint32_t*>(calls[0].ebx), record, sizeof record);
  }
}

TEST(Sleep, WholeSecondsInCallsOfAtMost4294Seconds) {
  const struct { unsigned seconds; int calls; uint32_t micros[3]; } cases[] = {
      {0, 1, {0}}, {4294, 1, {4294000000u}}, {10000, 3, {4294000000u, 4294000000u, 1412000000u}}};  // never one call whose count wrapped around
  for (const auto& c : cases) {
    for (int i = 0; i < c.calls; ++i) vtest::script_result(SYS_usleep, -4);
    CallRecorder calls;
    EXPECT_EQ(sleep(c.seconds), 0u);
    ASSERT_EQ(calls.stop(), c.calls);
    for (int i = 0; i < c.calls; ++i) EXPECT_TRUE(calls[i].number == SYS_usleep && calls[i].ebx == c.micros[i]);
  }
}
