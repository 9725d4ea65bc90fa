// fstat: what a descriptor alone shows. A directory reads its own "." record (and is put back
// where it was); a file has a size; a pipe or a device has no position at all.
#include <sys/stat.h>
#include <unistd.h>

#include "dirent/directory_stream.h"
#include "stat/status.h"

extern "C" int fstat(int fd, struct stat* status) {
  if (status == nullptr) return vornos::fail_with(EFAULT);
  const int position = lseek(fd, 0, SEEK_CUR);
  if (position == -ESPIPE) {
    vornos::status_of_kind(false, 0, status);
    status->st_mode = S_IFIFO | 0600;
    return 0;
  }
  if (position < 0) return vornos::fail_with(-position);
  if (vornos::is_directory_descriptor(fd)) {
    vornos::status_of_open_directory(fd, status);
  } else {
    const int size = lseek(fd, 0, SEEK_END);
    vornos::status_of_kind(false, size < 0 ? 0 : size, status);
  }
  lseek(fd, position, SEEK_SET);
  return 0;
}
