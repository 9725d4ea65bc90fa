// The parts of stat and fstat that turn directory records into a struct stat.
#include "stat/status.h"

#include <string.h>
#include <unistd.h>

#include "dirent/directory_stream.h"

namespace vornos {
namespace {

constexpr int kBlockSize = 512;

void clear(struct stat* status) { memset(status, 0, sizeof *status); }

void set_size(off_t size, struct stat* status) {
  status->st_size = size;
  status->st_blksize = kBlockSize;
  status->st_blocks = static_cast<blkcnt_t>((static_cast<unsigned>(size) + kBlockSize - 1) / kBlockSize);
}

}  // namespace

void status_of_kind(bool directory, off_t size, struct stat* status) {
  clear(status);
  status->st_mode = directory ? (S_IFDIR | 0755) : (S_IFREG | 0644);
  status->st_nlink = 1;
  set_size(size, status);
}

void status_from_record(const vornos_directory_record& record, struct stat* status) {
  const bool directory = (record.attributes & VORNOS_ATTRIBUTE_DIRECTORY) != 0;
  status_of_kind(directory, static_cast<off_t>(record.size), status);
  if ((record.attributes & VORNOS_ATTRIBUTE_READ_ONLY) != 0) status->st_mode &= ~0222u;
  status->st_ino = record.serial;
  status->st_mtime = status->st_atime = status->st_ctime = record.modified;
}

void status_of_open_directory(int fd, struct stat* status) {
  vornos_directory_record self;
  if (find_record(fd, ".", &self)) {
    status_from_record(self, status);
  } else {
    status_of_kind(true, 0, status);
    status->st_ino = 1;
  }
}

bool find_record(int fd, const char* name, vornos_directory_record* found) {
  if (lseek(fd, 0, SEEK_SET) != 0) return false;
  vornos_directory_record records[2];
  for (int got; (got = read(fd, records, sizeof records)) > 0;) {
    for (int i = 0; i < got / kRecordSize; ++i) {
      if (strcasecmp(records[i].name, name) == 0) {
        *found = records[i];
        return true;
      }
    }
  }
  return false;
}

}  // namespace vornos
