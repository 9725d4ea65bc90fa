// readdir, rewinddir and dirfd: the entries of an open directory, a few records per kernel call.
#include <dirent.h>
#include <string.h>

#include "dirent/directory_stream.h"

extern "C" {

struct dirent* readdir(DIR* dir) {
  if (dir == nullptr) {
    errno = EBADF;
    return nullptr;
  }
  if (dir->next == dir->count) {
    const int got = read(dir->fd, dir->records, sizeof dir->records);
    if (got < 0) {
      errno = -got;
      return nullptr;
    }
    dir->count = static_cast<unsigned>(got) / vornos::kRecordSize;
    dir->next = 0;
    if (dir->count == 0) return nullptr;  // the end: errno stays as it was
  }
  const vornos_directory_record& record = dir->records[dir->next++];
  dir->entry.d_ino = record.serial;
  dir->entry.d_type = (record.attributes & VORNOS_ATTRIBUTE_DIRECTORY) != 0 ? DT_DIR : DT_REG;
  static_assert(sizeof dir->entry.d_name == sizeof record.name, "a record's name fits a dirent's");
  memcpy(dir->entry.d_name, record.name, sizeof record.name);
  return &dir->entry;
}

void rewinddir(DIR* dir) {
  if (dir == nullptr) return;
  lseek(dir->fd, 0, SEEK_SET);
  dir->count = 0;
  dir->next = 0;
}

int dirfd(DIR* dir) { return dir == nullptr ? vornos::fail_with(EBADF) : dir->fd; }

}  // extern "C"
