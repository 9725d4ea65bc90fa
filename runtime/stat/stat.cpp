// stat and lstat: a path's status from its entry's record in the directory that holds it.
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>

#include "dirent/directory_stream.h"
#include "stat/status.h"

namespace {

constexpr int kPathLimit = 4096;

// What `path` opens as, when no record names it (a short alias, a name cased beyond ASCII).
int status_by_opening(const char* path, struct stat* status) {
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return vornos::fail_with(-fd);
  const int result = fstat(fd, status);
  close(fd);
  return result;
}

}  // namespace

extern "C" {

int stat(const char* path, struct stat* status) {
  if (path == nullptr || status == nullptr) return vornos::fail_with(EFAULT);
  const size_t length = strnlen(path, kPathLimit);
  if (length == 0) return vornos::fail_with(ENOENT);
  if (length == kPathLimit) return vornos::fail_with(ENAMETOOLONG);
  // Split into the directory that holds the entry and the entry's name, trailing '/' aside.
  char parent[kPathLimit];
  memcpy(parent, path, length + 1);
  size_t end = length;
  while (end > 1 && parent[end - 1] == '/') --end;
  const bool wants_directory = end < length;
  parent[end] = '\0';
  char* slash = strrchr(parent, '/');
  const char* name = slash == nullptr ? parent : slash + 1;
  // The root, "." and "..": the directory itself tells.
  if (*name == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return status_by_opening(path, status);
  const char* directory = ".";
  if (slash == parent) {
    directory = "/";
  } else if (slash != nullptr) {
    directory = parent;
  }
  if (slash != nullptr) *slash = '\0';
  const int fd = open(directory, O_RDONLY);
  if (fd < 0) return vornos::fail_with(-fd);
  if (!vornos::is_directory_descriptor(fd)) {
    close(fd);
    return vornos::fail_with(ENOTDIR);
  }
  vornos_directory_record record;
  const bool found = vornos::find_record(fd, name, &record);
  close(fd);
  if (!found) return status_by_opening(path, status);
  vornos::status_from_record(record, status);
  if (wants_directory && !S_ISDIR(status->st_mode)) return vornos::fail_with(ENOTDIR);
  return 0;
}

int lstat(const char* path, struct stat* status) { return stat(path, status); }

}  // extern "C"
