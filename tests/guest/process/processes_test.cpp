// Several programs at once, through the raw gate, on the scratch volume of processes_test.sh
// (which puts the helper program at /helper): spawn, waitpid, pipes, fifos, dup, getkey,
// usleep, mappings and the process limit.
#include <stdint.h>
#include <string.h>

#include "vornos/kernel_call.h"
#include "vtest.h"

namespace {

using vornos::kernel_call;

constexpr int32_t kNoHang = 1;
char* const kBad = reinterpret_cast<char*>(16);  // an unmapped address

int32_t close(int32_t fd) { return kernel_call(SYS_close, fd); }
int32_t read(int32_t fd, void* buffer, uint32_t count) { return kernel_call(SYS_read, fd, buffer, count); }
int32_t write(int32_t fd, const void* bytes, uint32_t count) { return kernel_call(SYS_write, fd, bytes, count); }
int32_t waitpid(int32_t id, int32_t* status, int32_t options) { return kernel_call(SYS_waitpid, id, status, options); }

struct Pipe {
  int32_t ends[2] = {-1, -1};
  Pipe() { EXPECT_EQ(kernel_call(SYS_pipe, ends), 0); }
  ~Pipe() { close(ends[0]), close(ends[1]); }
  int32_t in() const { return ends[0]; }  int32_t out() const { return ends[1]; }
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

// Everything `fd` delivers up to its end, as text (at most 255 bytes).
const char* all_of(int32_t fd) {
  static char text[256];
  uint32_t have = 0;
  for (int32_t got; have < sizeof text - 1 && (got = read(fd, text + have, sizeof text - 1 - have)) > 0;) have += got;
  text[have] = '\0';
  return text;
}

int32_t status_of(int32_t id) {
  int32_t status = -1;
  EXPECT_EQ(waitpid(id, &status, 0), id);
  return status;
}

}  // namespace

// A child between two pipes: what it is given, what it writes and the status it ends with.
// "keys" echoes what getkey reads, byte by byte (0xff is a key, not the end), then "!".
TEST(Processes, ChildrenWriteIntoPipesAndEndWithTheirStatus) {
  const struct { const char *mode, *argument, *input, *output; int32_t status; } cases[] = {
      {"write", "hello", "", "hello", 0}, {"exit", "7", "", "", 7}, {"exit", "300", "", "", 44},
      {"crash", "", "", "", 128 + 11}, {"keys", "", "a\n\xff", "a\n\xff!", 0}};
  for (const auto& c : cases) {
    vtest::name_case(c.mode, c.argument);
    Pipe in, out;
    const int32_t id = helper(c.mode, c.argument, in.in(), out.out());
    ASSERT_TRUE(id > 0);
    out.close_out();
    EXPECT_EQ(write(in.out(), c.input, strlen(c.input)), int32_t(strlen(c.input)));
    in.close_out();
    // The read waits while the child runs (the writer sleeps first) and ends with it.
    EXPECT_TRUE(vtest::same_text(all_of(out.in()), c.output));
    EXPECT_EQ(status_of(id), c.status);
  }
}

TEST(Processes, SpawnRefusesWhatItCannotRun) {
  const struct { const char* path; int32_t result; } cases[] = {{"/none", -2}, {"/Docs", -13}, {"/Docs/Read Me.txt", -8}, {kBad, -14}};
  for (const auto& c : cases) EXPECT_EQ(kernel_call(SYS_spawn, c.path, 0, 0), c.result);
}

TEST(Processes, WaitpidNoHangUnknownChildrenAndBadStatus) {
  Pipe pipe;
  const int32_t id = helper("wait-stdin", "", pipe.in());
  ASSERT_TRUE(id > 0);
  int32_t status = -1;
  const int32_t early[] = {waitpid(id, &status, kNoHang), waitpid(-1, &status, kNoHang), waitpid(id + 100, &status, 0)},
                want[] = {0, 0, -10};
  EXPECT_BYTES(early, want, sizeof early);
  pipe.close_out();
  close(pipe.ends[0]), pipe.ends[0] = -1;
  EXPECT_EQ(waitpid(id, reinterpret_cast<int32_t*>(kBad), 0), -14);  // still waitable after
  EXPECT_EQ(waitpid(-1, &status, 0), id);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(waitpid(-1, &status, 0), -10);
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
  out.close_out();
  extra.close_out();
  close(20);
  EXPECT_TRUE(vtest::same_text(all_of(out.in()), "111"));
  EXPECT_TRUE(vtest::same_text(all_of(extra.in()), "NN"));
}

TEST(Pipes, BlockingWritesCompleteAndErrorsAnswer) {
  Pipe to_child, from_child;
  const int32_t id = helper("drain", "", to_child.in(), from_child.out());
  close(to_child.ends[0]), to_child.ends[0] = -1;
  from_child.close_out();
  static char big[200000];
  EXPECT_EQ(write(to_child.out(), big, sizeof big), int32_t{sizeof big});  // waits for room three times
  to_child.close_out();
  int32_t counted = 0;
  EXPECT_EQ(read(from_child.in(), &counted, 4), 4);
  EXPECT_EQ(counted, int32_t{sizeof big});
  EXPECT_EQ(status_of(id), 0);

  Pipe pipe;
  const struct { int32_t fd, result; } nonblock[] = {{pipe.in(), 0}, {pipe.out(), 0}, {60, -9}};
  for (const auto& c : nonblock) EXPECT_EQ(kernel_call(SYS_fd_set_nonblock, c.fd, 1, 0), c.result);
  EXPECT_EQ(read(pipe.in(), big, 1), -11);
  EXPECT_EQ(write(pipe.out(), big, sizeof big), 65536);
  EXPECT_EQ(write(pipe.out(), big, 1), -11);
  EXPECT_EQ(read(pipe.out(), big, 1), -9);
  close(pipe.ends[0]), pipe.ends[0] = -1;
  EXPECT_EQ(write(pipe.out(), big, 1), -32);
}

TEST(Pipes, FifoBetweenTwoPrograms) {
  EXPECT_EQ(kernel_call(SYS_mkfifo, "/chan"), 0);
  const struct { const char* path; int32_t result; } refused[] = {
      {"/chan", -17}, {"/Docs", -17}, {"/none/chan", -2}, {"/Docs/Read Me.txt/x", -20}};
  for (const auto& c : refused) EXPECT_EQ(kernel_call(SYS_mkfifo, c.path), c.result);
  const char* argv[] = {"helper", "fifo-write", "/chan", "through the fifo"};
  const int32_t id = kernel_call(SYS_spawn, "/helper", argv, 4);
  const int32_t fd = kernel_call(SYS_open, "chan", 0, 0);  // waits for the writer
  ASSERT_TRUE(fd >= 3);
  EXPECT_TRUE(vtest::same_text(all_of(fd), "through the fifo"));
  EXPECT_EQ(status_of(id), 0);
  close(fd);
}

TEST(Descriptors, DupAndDup2ShareTheOffset) {
  const int32_t fd = kernel_call(SYS_open, "/Docs/Read Me.txt", 0, 0);
  const int32_t copy = kernel_call(SYS_dup, fd);
  EXPECT_GT(copy, fd);
  const int32_t dups[] = {kernel_call(SYS_dup2, fd, 40), kernel_call(SYS_dup2, fd, fd), kernel_call(SYS_dup, 50),
                          kernel_call(SYS_dup2, 50, 41), kernel_call(SYS_dup2, fd, 64)};
  const int32_t want[] = {40, fd, -9, -9, -9};
  EXPECT_BYTES(dups, want, sizeof dups);
  char text[24] = {};  // "hello from mtools": each read goes on where the last one ended
  EXPECT_EQ(read(fd, text, 6) + read(copy, text + 6, 5) + read(40, text + 11, 6), 17);
  EXPECT_STREQ(text, "hello from mtools");
  const int32_t opened[] = {fd, copy, 40};
  for (int32_t open_fd : opened) EXPECT_EQ(close(open_fd), 0);
}

TEST(Mappings, AnonymousAndFileCopiesInTheProgramsMemory) {
  constexpr uint32_t kSize = 8 << 20;
  auto* big = reinterpret_cast<uint32_t*>(kernel_call(SYS_mmap, 0, kSize, 3, 0x22, -1, 0));
  ASSERT_NE(reinterpret_cast<int32_t>(big), -1);
  for (uint32_t i = 0; i < kSize / 4; i += 1021) big[i] = i * 2654435761u;
  bool same = true;
  for (uint32_t i = 0; i < kSize / 4; ++i) same = same && big[i] == (i % 1021 == 0 ? i * 2654435761u : 0);
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
  const int32_t failed[] = {kernel_call(SYS_mmap, 0, 0, 3, 0x22, -1, 0), kernel_call(SYS_mmap, 0, 4096, 8, 0x22, -1, 0),
                            kernel_call(SYS_mmap, 0, 4096, 3, 0x21, -1, 0), kernel_call(SYS_mmap, 0, 4096, 1, 0x02, pipe.in(), 0),
                            kernel_call(SYS_mmap, 0, 4096, 1, 0x02, fd, 100), kernel_call(SYS_mmap, 0, 4096, 1, 0x02, 50, 0)};
  for (int32_t result : failed) EXPECT_EQ(result, -1);
  EXPECT_EQ(kernel_call(SYS_munmap, 0x1001, 4096), -22);
  close(fd);
}

TEST(Processes, SpawnStopsAtTheProcessLimitAndTheRunGoesOn) {
  Pipe hold;
  int32_t started = 0;
  int32_t result;
  while ((result = helper("wait-stdin", "", hold.in())) > 0) ++started;
  EXPECT_EQ(result, -11);
  EXPECT_EQ(started, 63);  // this program and 63 children make 64
  hold.close_out();
  close(hold.ends[0]), hold.ends[0] = -1;
  int32_t status;
  for (int32_t i = 0; i < started; ++i) EXPECT_GT(waitpid(-1, &status, 0), 0);
  const int32_t id = helper("exit", "5");
  EXPECT_EQ(status_of(id), 5);
}
