// Several programs at once, through the raw gate, on the scratch volume of processes_test.sh
// (with the helper program at /helper): spawn, waitpid, pipes, fifos, dup, getkey, mappings.
#include <stdint.h>

#include "../fcntl/raw_calls.h"

namespace {

using namespace raw;

char g_big[200000];

int32_t waitpid(int32_t id, int32_t* status, int32_t options) { return kernel_call(SYS_waitpid, id, status, options); }

struct Pipe {
  int32_t ends[2] = {-1, -1};
  Pipe() { EXPECT_EQ(kernel_call(SYS_pipe, ends), 0); }
  ~Pipe() { close(ends[0]), close(ends[1]); }
  int32_t in() const { return ends[0]; }  int32_t out() const { return ends[1]; }
  void close_in() { close(ends[0]), ends[0] = -1; }
  void close_out() { close(ends[1]), ends[1] = -1; }
};

// Starts /helper with `mode` and `argument`, its 0-2 being the given descriptors.
int32_t helper(const char* mode, const char* argument = "", int32_t in = 0, int32_t out = 1) {
  const char* argv[] = {"helper", mode, argument};
  kernel_call(SYS_fd_set_stdio, in, out, 2);
  const int32_t id = kernel_call(SYS_spawn, "helper", argv, 3);
  kernel_call(SYS_fd_set_stdio, 0, 1, 2);
  return id;
}

int32_t status_of(int32_t id) {
  int32_t status = -1;
  EXPECT_EQ(waitpid(id, &status, 0), id);
  return status;
}

}  // namespace

// A child between two pipes: what it is given, what it writes and the status it ends with.
// "keys" echoes what getkey reads, byte by byte (0xff is a key, not the end), then "!".
// (A write waiting for room in a full pipe is a host test of the waits.)
TEST(Processes, ChildrenWriteIntoPipesAndEndWithTheirStatus) {
  const struct { const char *mode, *argument, *input; int32_t size; const char* output; int32_t status; } cases[] = {
      {"write", "hello", "", 0, "hello", 0}, {"exit", "7", "", 0, "", 7}, {"exit", "300", "", 0, "", 44},
      {"crash", "", "", 0, "", 128 + 11}, {"keys", "", "a\n\xff", 3, "a\n\xff!", 0}};
  for (const auto& c : cases) {
    vtest::name_case(c.mode, c.argument);
    Pipe in, out;
    const int32_t id = helper(c.mode, c.argument, in.in(), out.out());
    ASSERT_TRUE(id > 0);
    out.close_out();
    EXPECT_EQ(write(in.out(), c.input, c.size), c.size);
    in.close_out();
    // The read waits while the child runs (the writer sleeps first) and ends with it.
    EXPECT_TRUE(vtest::same_text(all_of(out.in()), c.output));
    EXPECT_EQ(status_of(id), c.status);
  }
}

TEST(Processes, SpawnExRecordNamesDescriptorsForOneSpawn) {
  struct Record { const char* path; const char* const* argv; int32_t argc, a, b, c, flag; };
  Pipe out, extra;
  EXPECT_EQ(kernel_call(SYS_dup2, extra.out(), 20), 20);
  const char* argv[] = {"helper", "fds", "20"};
  // flag, fd_set_inherit beforehand, and the child's status: 0 when it could write to the
  // extra descriptor, 9 when that was not open.
  const struct { int32_t flag, inherit, status; } cases[] = {{1, 0, 0}, {0, 0, 9}, {0, 1, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(kernel_call(SYS_fd_set_inherit, c.inherit), 0);
    Record record = {"/helper", argv, 3, -1, out.out(), -1, c.flag};
    const int32_t id = kernel_call(SYS_spawn_ex, &record, 3);
    record = {};  // the kernel copied it
    ASSERT_TRUE(id > 0);
    EXPECT_EQ(status_of(id), c.status);
  }
  kernel_call(SYS_fd_set_inherit, 0);
  out.close_out(), extra.close_out(), close(20);
  EXPECT_TRUE(vtest::same_text(all_of(out.in()), "111"));
  EXPECT_TRUE(vtest::same_text(all_of(extra.in()), "NN"));
}

// What spawn refuses; then a fifo between two programs, opened by another spelling of its
// name (the namespace's rows are host tests of the calls).
TEST(Pipes, FifoBetweenTwoPrograms) {
  const Step steps[] = {
      {-2, SYS_spawn, w("/none")}, {-13, SYS_spawn, w("/Docs")}, {-8, SYS_spawn, w("/Docs/Read Me.txt")},
      {-14, SYS_spawn, w(kBad)}, {0, SYS_mkfifo, w("/chan")}};
  run_steps(steps);
  const char* argv[] = {"helper", "fifo-write", "/chan", "through the fifo"};
  const int32_t id = kernel_call(SYS_spawn, "/helper", argv, 4);
  const int32_t fd = kernel_call(SYS_open, "./CHAN", 0, 0);  // waits for the writer
  ASSERT_TRUE(fd >= 3);
  EXPECT_TRUE(vtest::same_text(all_of(fd), "through the fifo"));
  EXPECT_EQ(status_of(id), 0);
  close(fd);
}

// A nonblocking write to a pipe puts in what fits and answers -11 once it is full (dup, the
// reads and the ends' refusals are host tests of the descriptor table, pipes and waits).
TEST(Descriptors, NonblockingWritesFillThePipeThenAnswer) {
  Pipe pipe;
  const uint32_t out = u(pipe.out()), big = w(g_big);
  const Step ends[] = {
      {0, SYS_fd_set_nonblock, out, 1}, {-9, SYS_fd_set_nonblock, 60, 1},
      {65536, SYS_write, out, big, sizeof g_big}, {-11, SYS_write, out, big, 1}};
  run_steps(ends);
}

TEST(Mappings, AnonymousAndFileCopiesInTheProgramsMemory) {
  constexpr uint32_t kSize = 8 << 20;
  auto* big = reinterpret_cast<uint32_t*>(kernel_call(SYS_mmap, 0, kSize, 3, 0x22, -1, 0));
  ASSERT_NE(reinterpret_cast<int32_t>(big), -1);
  bool same = true;  // zeros, and writable
  for (uint32_t i = 0; i < kSize / 4; ++i) same = same && big[i] == 0, big[i] = i;
  EXPECT_TRUE(same);
  EXPECT_EQ(kernel_call(SYS_munmap, big, kSize), 0);

  const int32_t fd = kernel_call(SYS_open, "/Pattern.bin", 0, 0);
  auto* copy = reinterpret_cast<uint8_t*>(kernel_call(SYS_mmap, 0, 40960, 3, 0x02, fd, 4096));
  ASSERT_NE(reinterpret_cast<int32_t>(copy), -1);
  same = true;
  for (uint32_t i = 0; i < 40960; ++i) same = same && copy[i] == (i < 40000 - 4096 ? (i + 4096) % 251 : 0);
  EXPECT_TRUE(same);
  copy[0] = 99;  // a private copy: the file keeps its byte
  uint8_t first = 1;
  EXPECT_TRUE(read(fd, &first, 1) == 1 && first == 0);
  EXPECT_EQ(kernel_call(SYS_munmap, copy, 40960), 0);

  Pipe pipe;
  const Step failed[] = {
      {-1, SYS_mmap, 0, 0, 3, 0x22, u(-1)}, {-1, SYS_mmap, 0, 4096, 8, 0x22, u(-1)},
      {-1, SYS_mmap, 0, 4096, 3, 0x21, u(-1)}, {-1, SYS_mmap, 0, 4096, 1, 0x02, u(pipe.in())},
      {-1, SYS_mmap, 0, 4096, 1, 0x02, u(fd), 100}, {-1, SYS_mmap, 0, 4096, 1, 0x02, 50},
      {-22, SYS_munmap, 0x1001, 4096}, {0, SYS_close, u(fd)}};
  run_steps(failed);
}

// While children wait on a pipe that stays empty, the limit of 64 programs; then a status
// that cannot be stored, and every child waited for.
TEST(Processes, WaitpidAndTheProcessLimit) {
  Pipe hold;
  const int32_t first = helper("wait-stdin", "", hold.in());
  int32_t started = 1, status = -1, result;
  while ((result = helper("wait-stdin", "", hold.in())) > 0) ++started;
  EXPECT_EQ(result, -11);
  EXPECT_EQ(started, 63);  // this program and 63 children make 64
  hold.close_out(), hold.close_in();
  EXPECT_EQ(waitpid(first, reinterpret_cast<int32_t*>(kBad), 0), -14);  // still waitable after
  for (int32_t i = 0; i < started; ++i) EXPECT_TRUE(waitpid(-1, &status, 0) > 0 && status == 0);
  EXPECT_EQ(waitpid(-1, &status, 0), -10);
  EXPECT_EQ(status_of(helper("exit", "5")), 5);
}
