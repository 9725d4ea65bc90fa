// The file calls through the raw gate, on the scratch volume of files_test.sh: descriptors,
// offsets, whole-file and streamed writes, directories, paths and their error codes.
#include <stdint.h>

#include "raw_calls.h"

namespace {

using namespace raw;

constexpr uint32_t kRead = 0, kWrite = 1, kReadWrite = 2, kCreate = 0x40, kExclusive = 0x80,
                   kTruncate = 0x200, kAppend = 0x400;
const char kLog[] = "/Notes/Log.txt";

int32_t open(const char* path, uint32_t flags) { return kernel_call(SYS_open, path, flags, 0); }

// The whole content of `path` as text (at most 255 bytes), or "" when it cannot be opened.
const char* content(const char* path) {
  const int32_t fd = open(path, kRead);
  const char* text = fd < 0 ? "" : all_of(fd);
  close(fd);
  return text;
}

}  // namespace

TEST(Files, ReadsWhatMtoolsWroteByAnyCaseAndAnyPathToIt) {
  EXPECT_STREQ(content("//Docs/./../DOCS/read me.txt"), "hello from mtools\n");
  ASSERT_EQ(open("/Pattern.bin", kRead), 3);
  static uint8_t all[65536];  // every read puts its bytes where they lie in the file
  const Step steps[] = {
      {40000, SYS_read, 3, w(all), sizeof all}, {20000, SYS_lseek, 3, 20000}, {100, SYS_read, 3, w(all + 20000), 100},
      {39950, SYS_lseek, 3, 39950}, {50, SYS_read, 3, w(all + 39950), 100}, {50000, SYS_lseek, 3, 50000},
      {0, SYS_read, 3, w(all), 100}, {39999, SYS_lseek, 3, u(-1), 2}, {-22, SYS_lseek, 3, u(-40001), 2},
      {0, SYS_lseek, 3, u(-39999), 1}, {-22, SYS_lseek, 3, 0, 3}, {-14, SYS_read, 3, w(kBad), 10},
      {10, SYS_read, 3, w(all), 10} /* from where it was */, {0, SYS_close, 3}};
  run_steps(steps);
  int wrong = 0;  // byte i of the file is i % 251
  for (int i = 0; i < 40000; ++i) wrong += all[i] != i % 251;
  EXPECT_EQ(wrong, 0);
}

// A full table refuses a create before the volume sees it: no file is made. (Numbering, the
// limit and close's refusals are host tests of the descriptor table.)
TEST(Files, ACreateRefusedByAFullTableMakesNothing) {
  int32_t opened = 0;
  while (open("/Docs/Read Me.txt", kRead) >= 0) ++opened;
  EXPECT_EQ(opened, 61);
  EXPECT_EQ(open("/Docs/New.txt", kWrite | kCreate), -24);
  for (int32_t fd = 3; fd < 64; ++fd) EXPECT_EQ(close(fd), 0);
  EXPECT_EQ(open("/Docs/New.txt", kRead), -2);
}

TEST(Files, WritesGoToTheOffsetFillGapsWithZerosAppendOrReplaceWholeFiles) {
  char bytes[16];
  const Step steps[] = {
      {0, SYS_mkdir, w("/Notes")}, {3, SYS_open, w(kLog), kReadWrite | kCreate}, {5, SYS_write, 3, w("hello"), 5},
      {8, SYS_lseek, 3, 8}, {1, SYS_write, 3, w("!"), 1}, {-17, SYS_open, w(kLog), kWrite | kCreate | kExclusive},
      {4, SYS_open, w("/notes/log.txt"), kWrite | kAppend}, {0, SYS_lseek, 4}, {1, SYS_write, 4, w("+"), 1},
      {-9, SYS_read, 4}, {0, SYS_lseek, 3}, {10, SYS_read, 3, w(bytes), sizeof bytes},
      // Opened for reading, the truncate bit cuts nothing; opened for writing, it does.
      {5, SYS_open, w(kLog), kRead | kTruncate}, {-9, SYS_write, 5, w("x"), 1}, {10, SYS_lseek, 5, 0, 2},
      {6, SYS_open, w(kLog), kWrite | kTruncate}, {0, SYS_close, 6}, {0, SYS_lseek, 5, 0, 2},
      {-16, SYS_unlink, w(kLog)} /* open files stay */, {0, SYS_close, 3}, {0, SYS_close, 4}, {0, SYS_close, 5},
      {0, SYS_unlink, w(kLog)}, {-2, SYS_open, w(kLog), kRead}};
  run_steps(steps);
  EXPECT_BYTES(bytes, "hello\0\0\0!+", 10);
  // writefile and the streamed write replace whole files.
  EXPECT_GE(kernel_call(SYS_writefile, "/Notes/Hello World.txt", "short\n", 6), 0);
  EXPECT_STREQ(content("/Notes/Hello World.txt"), "short\n");
  const int32_t stream = kernel_call(SYS_vornfs_stream_begin, "/Notes/Streamed Data.txt");
  ASSERT_TRUE(stream >= 0);
  EXPECT_EQ(kernel_call(SYS_vornfs_stream_write, stream, "part one, ", 10), 10);
  EXPECT_EQ(kernel_call(SYS_vornfs_stream_write, stream, "part two\n", 9), 9);
  EXPECT_EQ(open("/Notes/Streamed Data.txt", kRead), -2);  // nothing before the end
  EXPECT_GE(kernel_call(SYS_vornfs_stream_end, stream), 0);
  EXPECT_STREQ(content("/Notes/Streamed Data.txt"), "part one, part two\n");
  EXPECT_EQ(kernel_call(SYS_vornfs_stream_end, stream), -9);
  EXPECT_EQ(kernel_call(SYS_vornfs_stream_write, stream, "x", 1), -9);
  const int32_t unfinished = kernel_call(SYS_vornfs_stream_begin, "/Notes/Unfinished.txt");
  EXPECT_EQ(kernel_call(SYS_vornfs_stream_write, unfinished, "lost", 4), 4);  // ended by nobody
  EXPECT_EQ(kernel_call(SYS_vornfs_stream_write, unfinished, kBad, 4), -14);
  EXPECT_EQ(kernel_call(SYS_writefile, "/Notes/Bad.txt", kBad, 4), -14);
}

TEST(Files, DirectoriesAndTheWorkingDirectory) {
  char cwd[32];
  EXPECT_EQ(kernel_call(SYS_getcwd, cwd, sizeof cwd, 0), 2);
  EXPECT_STREQ(cwd, "/");
  // The working directory cannot be removed until left.
  const Step steps[] = {
      {0, SYS_mkdir, w("/Mixed Case Dir")}, {0, SYS_chdir, w("mixed CASE dir/")}, {16, SYS_getcwd, w(cwd), 16},
      {-34, SYS_getcwd, w(cwd), 15}, {-14, SYS_getcwd, w(kBad), 32}, {0, SYS_writefile, w("inner.txt"), w("x"), 1},
      {0, SYS_unlink, w("./INNER.TXT")}, {-16, SYS_rmdir, w("/Mixed Case Dir")}, {0, SYS_chdir, w("..")},
      {0, SYS_rmdir, w("Mixed Case Dir")}, {3, SYS_open, w("/Docs"), kRead}, {-22, SYS_read, 3, w(cwd), 1},
      {0, SYS_close, 3}};
  run_steps(steps);
  EXPECT_STREQ(cwd, "/Mixed Case Dir");
}

// One of the volume's refusals (its own tests hold the rest), what the kernel decides itself,
// and each call's path read from an unmapped address.
TEST(Files, PathCallsAnswerLinuxErrorNumbers) {
  static char long_path[4097];  // longer than the kernel reads
  for (int i = 0; i < 4096; ++i) long_path[i] = i % 2 == 0 ? '/' : 'a';
  const Step steps[] = {
      {-2, SYS_open, w("/missing.txt"), kWrite}, {-21, SYS_open, w("/Docs"), kWrite},
      {-36, SYS_mkdir, w(long_path)}, {-20, SYS_chdir, w("/Docs/Read Me.txt")},
      {-2, SYS_chdir, w("/nowhere")}, {-14, SYS_open, w(kBad), kWrite}, {-14, SYS_writefile, w(kBad)},
      {-14, SYS_mkdir, w(kBad)}, {-14, SYS_rmdir, w(kBad)}, {-14, SYS_unlink, w(kBad)},
      {-14, SYS_chdir, w(kBad)}, {-14, SYS_vornfs_stream_begin, w(kBad)}};
  run_steps(steps);
}
