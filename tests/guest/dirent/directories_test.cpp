// Directories as ls -l, find and rm -r see them, on the volume of directories_test.sh that
// mtools wrote: readdir's entries and types, stat's and fstat's fields, a recursive removal
// (streams of a directory and its subdirectory open at once), and opendir's refusals.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vtest.h"

namespace {

constexpr long kMarch4th2021 = 1614834368;  // 2021-03-04 05:06:08 as seconds since 1970

// The entries of `path` as "name/" for directories and "name" for files, joined by spaces.
const char* listing(const char* path) {
  static char text[512];
  text[0] = '\0';
  DIR* dir = opendir(path);
  if (dir == nullptr) return "(not opened)";
  for (struct dirent* entry; (entry = readdir(dir)) != nullptr;) {
    if (text[0] != '\0') strcat(text, " ");
    strcat(text, entry->d_name);
    if (entry->d_type == DT_DIR) strcat(text, "/");
  }
  closedir(dir);
  return text;
}

// rm -r: the entries first, then the directory; 0, or the first failure's result.
int remove_tree(const char* path) {
  DIR* dir = opendir(path);
  if (dir == nullptr) return -1;
  int result = 0;
  for (struct dirent* entry; result == 0 && (entry = readdir(dir)) != nullptr;) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    char child[256];
    snprintf(child, sizeof child, "%s/%s", path, entry->d_name);
    result = entry->d_type == DT_DIR ? remove_tree(child) : unlink(child);
  }
  closedir(dir);
  return result == 0 ? rmdir(path) : result;
}

}  // namespace

TEST(Directories, ReaddirGivesEveryEntryInOrderAndAgainAfterRewind) {
  EXPECT_STREQ(listing("/Tree"), "./ ../ Sub/ Empty/ a.txt Long File Name.txt ro.txt");
  EXPECT_STREQ(listing("/tree/SUB/"), "./ ../ Deeper/ b.c");
  EXPECT_STREQ(listing("/Tree/Empty"), "./ ../");
  EXPECT_STREQ(listing("/"), "Docs/ Pattern.bin Tree/ Doomed/");  // the root has no "." or ".."
  DIR* dir = opendir("/Tree/Sub");
  ASSERT_TRUE(dir != nullptr);
  int first_pass = 0, second_pass = 0;
  while (readdir(dir) != nullptr) ++first_pass;
  EXPECT_TRUE(readdir(dir) == nullptr);  // the end stays the end
  rewinddir(dir);
  while (readdir(dir) != nullptr) ++second_pass;
  EXPECT_EQ(first_pass, 4);
  EXPECT_EQ(second_pass, 4);
  EXPECT_EQ(closedir(dir), 0);
}

// What opendir and stat refuse, and the errno each sets (0: that call is not tried).
TEST(Directories, OpendirAndStatRefusalsSetErrno) {
  const struct { const char* path; int opendir_error, stat_error; } rows[] = {
      {"/missing", ENOENT, ENOENT}, {"/Tree/missing.txt", 0, ENOENT}, {"/missing/x", 0, ENOENT},
      {"/Tree/a.txt", ENOTDIR, 0}, {"/Tree/a.txt/", 0, ENOTDIR}, {"/Tree/a.txt/x", ENOTDIR, ENOTDIR},
      {"", ENOENT, ENOENT}, {nullptr, EFAULT, 0},
  };
  for (unsigned i = 0; i < sizeof rows / sizeof *rows; ++i) {
    vtest::at_row(i);
    struct stat status;
    errno = 0;
    if (rows[i].opendir_error != 0) EXPECT_TRUE(opendir(rows[i].path) == nullptr && errno == rows[i].opendir_error);
    errno = 0;
    if (rows[i].stat_error != 0) EXPECT_TRUE(stat(rows[i].path, &status) == -1 && errno == rows[i].stat_error);
  }
  // A refused opendir leaves no descriptor open: the next open gets the lowest, 3.
  const int fd = open("/Tree/a.txt", O_RDONLY);
  EXPECT_EQ(fd, 3);
  close(fd);
}

TEST(Directories, ClosedStreamsAreReusedSoTheHeapDoesNotRunOut) {
  char* const before = static_cast<char*>(malloc(0));
  for (int i = 0; i < 2000; ++i) {
    DIR* dir = opendir("/Tree");
    ASSERT_TRUE(dir != nullptr);
    ASSERT_TRUE(readdir(dir) != nullptr);
    ASSERT_EQ(closedir(dir), 0);
  }
  const long taken = static_cast<char*>(malloc(0)) - before;
  EXPECT_LT(taken, 8192);  // one stream and the marker, not two thousand
}

TEST(Directories, StatGivesKindSizeDateAndReadOnly) {
  const struct { const char* path; unsigned mode; long size; long mtime; } rows[] = {
      {"/Tree/a.txt", S_IFREG | 0644, 5, kMarch4th2021},
      {"/TREE/long file name.TXT", S_IFREG | 0644, 12, kMarch4th2021},
      {"/Tree/ro.txt", S_IFREG | 0444, 5, kMarch4th2021},
      {"/Tree/Sub/Deeper/c.h", S_IFREG | 0644, 0, kMarch4th2021},
      {"Tree/Sub/b.c", S_IFREG | 0644, 3, kMarch4th2021},  // relative to the working directory
      {"/Tree/Sub", S_IFDIR | 0755, 0, -1}, {"/Tree/Sub/", S_IFDIR | 0755, 0, -1},
      {"/Tree/Sub/.", S_IFDIR | 0755, 0, -1}, {"/Tree/Sub/Deeper/..", S_IFDIR | 0755, 0, -1},
      {"/", S_IFDIR | 0755, 0, -1}, {"/Tree/..", S_IFDIR | 0755, 0, -1},
  };
  for (unsigned i = 0; i < sizeof rows / sizeof *rows; ++i) {
    vtest::name_case("stat", rows[i].path);
    struct stat status;
    memset(&status, 0x5a, sizeof status);
    ASSERT_EQ(stat(rows[i].path, &status), 0);
    EXPECT_EQ(status.st_mode, rows[i].mode);
    EXPECT_EQ(static_cast<long>(status.st_size), rows[i].size);
    if (rows[i].mtime >= 0) EXPECT_EQ(static_cast<long>(status.st_mtime), rows[i].mtime);
    EXPECT_EQ(status.st_nlink, 1u);
    EXPECT_TRUE(status.st_uid == 0 && status.st_gid == 0 && status.st_dev == 0);
  }
  // A directory is the same file by its path, its "." and its child's "..": find's loop check.
  struct stat sub, dot, up, file;
  ASSERT_TRUE(stat("/Tree/Sub", &sub) == 0 && stat("/Tree/Sub/.", &dot) == 0 && stat("/Tree/Sub/Deeper/..", &up) == 0);
  ASSERT_EQ(stat("/Tree/Sub/b.c", &file), 0);
  EXPECT_TRUE(sub.st_ino != 0 && sub.st_ino == dot.st_ino && sub.st_ino == up.st_ino && file.st_ino != sub.st_ino);
}

TEST(Directories, FstatTellsDirectoriesFilesAndPipesApartAndKeepsThePosition) {
  struct stat status;
  const int file = open("/Tree/Long File Name.txt", O_RDONLY);
  char two[2];
  ASSERT_EQ(read(file, two, 2), 2);
  ASSERT_EQ(fstat(file, &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode) && status.st_size == 12);
  EXPECT_EQ(lseek(file, 0, SEEK_CUR), 2);
  close(file);
  DIR* dir = opendir("/Tree/Sub");
  ASSERT_TRUE(dir != nullptr);
  ASSERT_TRUE(readdir(dir) != nullptr);
  ASSERT_EQ(fstat(dirfd(dir), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  struct stat by_path;
  ASSERT_EQ(stat("/Tree/Sub", &by_path), 0);
  EXPECT_EQ(status.st_ino, by_path.st_ino);
  // fstat read the directory from its start; readdir still goes on from where it was.
  struct dirent* next = readdir(dir);
  ASSERT_TRUE(next != nullptr);
  EXPECT_STREQ(next->d_name, "..");
  closedir(dir);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(fstat(ends[0], &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
  close(ends[0]), close(ends[1]);
  errno = 0;
  EXPECT_EQ(fstat(40, &status), -1);
  EXPECT_EQ(errno, EBADF);
}

TEST(Directories, RmRecursiveRemovesATreeOfLongNames) {
  EXPECT_EQ(remove_tree("/Doomed"), 0);
  errno = 0;
  EXPECT_TRUE(opendir("/Doomed") == nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_STREQ(listing("/"), "Docs/ Pattern.bin Tree/");
}
