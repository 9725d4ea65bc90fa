// The file calls through the raw gate, on the scratch volume of files_test.sh: descriptors,
// offsets, whole-file and streamed writes, directories, paths and their error codes.
#include <stdint.h>

#include "vornos/kernel_call.h"
#include "vtest.h"

namespace {

using vornos::kernel_call;

constexpr uint32_t kRead = 0, kWrite = 1, kReadWrite = 2, kCreate = 0x40, kExclusive = 0x80,
                   kTruncate = 0x200, kAppend = 0x400;
char* const kBad = reinterpret_cast<char*>(16);  // an unmapped address

int32_t open(const char* path, uint32_t flags) { return kernel_call(SYS_open, path, flags, 0); }
int32_t close(int32_t fd) { return kernel_call(SYS_close, fd); }
int32_t read(int32_t fd, void* buffer, uint32_t count) { return kernel_call(SYS_read, fd, buffer, count); }
int32_t write(int32_t fd, const char* text, uint32_t count) { return kernel_call(SYS_write, fd, text, count); }
int32_t lseek(int32_t fd, int32_t offset, uint32_t whence) { return kernel_call(SYS_lseek, fd, offset, whence); }
int32_t writefile(const char* path, const char* text, uint32_t count) {
  return kernel_call(SYS_writefile, path, text, count);
}

// The whole content of `path` as text (at most 255 bytes), or "" when it cannot be read.
const char* content(const char* path) {
  static char text[256];
  const int32_t fd = open(path, kRead);
  const int32_t got = fd < 0 ? 0 : read(fd, text, sizeof text - 1);
  text[got > 0 ? got : 0] = '\0';
  if (fd >= 0) close(fd);
  return text;
}

}  // namespace

TEST(Files, ReadsWhatMtoolsWroteByAnyCaseAndAnyPathToIt) {
  const char* const paths[] = {"/Docs/Read Me.txt", "/docs/READ ME.TXT", "//Docs/./../DOCS/read me.txt", "/Docs/README~1.TXT"};
  for (const char* path : paths) {
    vtest::name_case("open", path);
    EXPECT_STREQ(content(path), "hello from mtools\n");
  }
  const int32_t fd = open("/Pattern.bin", kRead);
  ASSERT_TRUE(fd >= 3);
  const struct { int32_t offset; int32_t got; } cases[] = {{0, 100}, {500, 100}, {20000, 100}, {39950, 50}, {40000, 0}, {50000, 0}};
  for (const auto& c : cases) {
    uint8_t bytes[100];
    EXPECT_EQ(lseek(fd, c.offset, 0), c.offset);
    EXPECT_EQ(read(fd, bytes, sizeof bytes), c.got);
    for (int32_t i = 0; i < c.got; ++i) EXPECT_EQ(bytes[i], (c.offset + i) % 251);
  }
  const struct { int32_t offset; uint32_t whence; int32_t result; } seeks[] = {{-1, 2, 39999}, {-40001, 2, -22}, {-39999, 1, 0}, {0, 3, -22}};
  for (const auto& c : seeks) EXPECT_EQ(lseek(fd, c.offset, c.whence), c.result);
  static uint8_t all[65536];
  EXPECT_EQ(read(fd, all, sizeof all), 40000);
  EXPECT_EQ(all[39999], 39999 % 251);
  EXPECT_EQ(lseek(fd, 0, 0), 0);
  EXPECT_EQ(read(fd, kBad, 10), -14);
  EXPECT_EQ(read(fd, all, 10), 10);  // a failed read leaves the position
  EXPECT_EQ(close(fd), 0);
}

TEST(Files, DescriptorsAreTheLowestFreeFromThreeAndAtMostSixtyFour) {
  int32_t opened = 0;
  for (int32_t fd; (fd = open("/Docs/Read Me.txt", kRead)) >= 0; ++opened) EXPECT_EQ(fd, 3 + opened);
  EXPECT_EQ(opened, 61);
  EXPECT_EQ(open("/Docs/Read Me.txt", kRead), -24);
  EXPECT_EQ(open("/Docs/New.txt", kWrite | kCreate), -24);
  EXPECT_EQ(close(10), 0);
  EXPECT_EQ(close(10), -9);
  EXPECT_EQ(open("/Docs/Read Me.txt", kRead), 10);
  for (int32_t fd = 3; fd < 64; ++fd) EXPECT_EQ(close(fd), 0);
  EXPECT_EQ(open("/Docs/New.txt", kRead), -2);  // the refused open made nothing
  const int32_t never_open[] = {-1, 3, 64};
  for (int32_t fd : never_open) EXPECT_EQ(close(fd), -9);
  // Descriptor 2 is the runner's standard error, until closed.
  const int32_t results[] = {write(2, "", 0), close(2), close(2), write(2, "x", 1)}, expected[] = {0, 0, -9, -9};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(results[i], expected[i]);
  EXPECT_EQ(open("/Docs/Read Me.txt", kRead), 3);
  EXPECT_EQ(close(3), 0);
}

TEST(Files, WritesGoToTheOffsetFillGapsWithZerosAndAppend) {
  kernel_call(SYS_mkdir, "/Notes");
  const int32_t fd = open("/Notes/Log.txt", kReadWrite | kCreate);
  ASSERT_TRUE(fd >= 3);
  EXPECT_EQ(write(fd, "hello", 5), 5);
  EXPECT_EQ(lseek(fd, 8, 0), 8);
  EXPECT_EQ(write(fd, "!", 1), 1);
  EXPECT_EQ(open("/Notes/Log.txt", kWrite | kCreate | kExclusive), -17);
  const int32_t appending = open("/notes/log.txt", kWrite | kAppend);
  EXPECT_EQ(lseek(appending, 0, 0), 0);
  EXPECT_EQ(write(appending, "+", 1), 1);
  EXPECT_EQ(read(appending, nullptr, 0), -9);
  char bytes[16];
  EXPECT_EQ(lseek(fd, 0, 0), 0);
  EXPECT_EQ(read(fd, bytes, sizeof bytes), 10);
  EXPECT_BYTES(bytes, "hello\0\0\0!+", 10);
  const int32_t reading = open("/Notes/Log.txt", kRead | kTruncate);
  EXPECT_EQ(write(reading, "x", 1), -9);
  EXPECT_EQ(lseek(reading, 0, 2), 10);  // no truncation when opened for reading
  EXPECT_EQ(close(open("/Notes/Log.txt", kWrite | kTruncate)), 0);
  EXPECT_EQ(lseek(reading, 0, 2), 0);
  EXPECT_EQ(kernel_call(SYS_unlink, "/Notes/Log.txt"), -16);  // open files stay
  const int32_t opened[] = {fd, appending, reading};
  for (int32_t open_fd : opened) EXPECT_EQ(close(open_fd), 0);
  EXPECT_EQ(kernel_call(SYS_unlink, "/Notes/Log.txt"), 0);
  EXPECT_EQ(open("/Notes/Log.txt", kRead), -2);
}

TEST(Files, WritefileAndStreamsReplaceWholeFiles) {
  kernel_call(SYS_mkdir, "/Notes");
  EXPECT_GE(writefile("/Notes/Hello World.txt", "written by a program\n", 21), 0);
  EXPECT_STREQ(content("/Notes/Hello World.txt"), "written by a program\n");
  EXPECT_GE(writefile("/Notes/Hello World.txt", "short\n", 6), 0);
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
  EXPECT_EQ(writefile("/Notes/Bad.txt", kBad, 4), -14);
}

TEST(Files, DirectoriesAndTheWorkingDirectory) {
  char cwd[32];
  EXPECT_EQ(kernel_call(SYS_getcwd, cwd, sizeof cwd, 0), 2);
  EXPECT_STREQ(cwd, "/");
  EXPECT_EQ(kernel_call(SYS_mkdir, "/Mixed Case Dir"), 0);
  EXPECT_EQ(kernel_call(SYS_chdir, "mixed CASE dir/"), 0);
  EXPECT_EQ(kernel_call(SYS_getcwd, cwd, 16, 0), 16);
  EXPECT_STREQ(cwd, "/Mixed Case Dir");
  EXPECT_EQ(kernel_call(SYS_getcwd, cwd, 15, 0), -34);
  EXPECT_EQ(kernel_call(SYS_getcwd, kBad, 32, 0), -14);
  EXPECT_GE(writefile("inner.txt", "x", 1), 0);
  EXPECT_STREQ(content("../Docs/Read Me.txt"), "hello from mtools\n");
  // The working directory cannot be removed until left.
  const struct { uint32_t call; const char* path; int32_t result; } steps[] = {
      {SYS_unlink, "./INNER.TXT", 0}, {SYS_rmdir, "/Mixed Case Dir", -16}, {SYS_chdir, "..", 0}, {SYS_rmdir, "Mixed Case Dir", 0}};
  for (const auto& c : steps) EXPECT_EQ(kernel_call(c.call, c.path), c.result);
  const int32_t fd = open("/Docs", kRead);
  char byte;
  EXPECT_EQ(read(fd, &byte, 1), -21);
  EXPECT_EQ(close(fd), 0);
}

TEST(Files, PathCallsAnswerLinuxErrorNumbers) {
  static char long_path[4097], long_name[258];
  for (int i = 0; i < 4096; ++i) long_path[i] = i % 2 == 0 ? '/' : 'a';
  long_name[0] = '/';
  for (int i = 1; i < 257; ++i) long_name[i] = 'n';
  const struct { uint32_t call; const char* path; int32_t expected; } cases[] = {
      {SYS_open, "/missing.txt", -2}, {SYS_open, "", -2}, {SYS_open, "/Docs/Read Me.txt/x", -20},
      {SYS_open, "/Docs", -21 /* with write access, below */}, {SYS_writefile, "/Docs", -21},
      {SYS_writefile, "/Docs/Locked.txt", -13}, {SYS_open, "/Docs/Locked.txt", -13},
      {SYS_writefile, "/a<b", -22}, {SYS_mkdir, "/what?", -22}, {SYS_mkdir, "/Docs", -17},
      {SYS_mkdir, long_path, -36}, {SYS_mkdir, long_name, -36}, {SYS_rmdir, "/Docs", -39},
      {SYS_rmdir, "/Docs/Read Me.txt", -20}, {SYS_rmdir, "/", -16}, {SYS_unlink, "/Docs", -21},
      {SYS_unlink, "/nothing", -2}, {SYS_chdir, "/Docs/Read Me.txt", -20}, {SYS_chdir, "/nowhere", -2},
      {SYS_open, kBad, -14}, {SYS_writefile, kBad, -14}, {SYS_mkdir, kBad, -14}, {SYS_rmdir, kBad, -14},
      {SYS_unlink, kBad, -14}, {SYS_chdir, kBad, -14}, {SYS_vornfs_stream_begin, kBad, -14},
  };
  for (const auto& c : cases) {
    vtest::name_case(c.call == SYS_open ? "open" : "path call", c.path == kBad ? "(bad pointer)" : c.path);
    EXPECT_EQ(kernel_call(c.call, c.path, c.call == SYS_open ? kWrite : 0, 0), c.expected);
  }
}
