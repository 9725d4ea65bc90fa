// The DIR record and what opendir, readdir and stat share about directory descriptors.
#pragma once

#include <dirent.h>
#include <errno.h>
#include <unistd.h>

#include "vornos/abi/directory_record.h"

namespace vornos {

inline constexpr unsigned kRecordsPerRead = 4;
inline constexpr int kRecordSize = sizeof(vornos_directory_record);

// A read of 0 bytes takes nothing from any descriptor; a directory's answers -22, since its
// reads give whole records only, where a file's answers 0.
inline bool is_directory_descriptor(int fd) {
  char unused;
  return read(fd, &unused, 0) == -EINVAL;
}

// A failed call's negative code, as the standard's functions report it: -1 with errno.
inline int fail_with(int code) {
  errno = code;
  return -1;
}

}  // namespace vornos

struct vornos_directory_stream {
  int fd;
  unsigned count;                   // records in `records`
  unsigned next;                    // the next of them readdir hands out
  vornos_directory_stream* next_free;  // closed streams wait here for the next opendir
  struct dirent entry;
  vornos_directory_record records[vornos::kRecordsPerRead];
};
