// opendir and closedir. A closed DIR is kept for the next opendir, since the heap never takes
// memory back: a program that walks a tree needs only as many as are open at once.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>

#include "dirent/directory_stream.h"

namespace {

DIR* g_closed_streams;

}  // namespace

extern "C" {

DIR* opendir(const char* path) {
  if (path == nullptr) {
    errno = EFAULT;
    return nullptr;
  }
  const int fd = open(path, O_RDONLY);
  if (fd < 0) {
    errno = -fd;
    return nullptr;
  }
  if (!vornos::is_directory_descriptor(fd)) {
    close(fd);
    errno = ENOTDIR;
    return nullptr;
  }
  DIR* dir = g_closed_streams;
  if (dir != nullptr) {
    g_closed_streams = dir->next_free;
  } else if ((dir = static_cast<DIR*>(malloc(sizeof(DIR)))) == nullptr) {
    close(fd);
    return nullptr;  // the heap has set errno to ENOMEM
  }
  dir->fd = fd;
  dir->count = 0;
  dir->next = 0;
  dir->next_free = nullptr;
  return dir;
}

int closedir(DIR* dir) {
  if (dir == nullptr) return vornos::fail_with(EBADF);
  const int result = close(dir->fd);
  dir->fd = -1;
  dir->next_free = g_closed_streams;
  g_closed_streams = dir;
  return result < 0 ? vornos::fail_with(-result) : 0;
}

}  // extern "C"
