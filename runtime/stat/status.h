// Filling a struct stat: from a directory record, or from what a descriptor alone shows.
#pragma once

#include <sys/stat.h>

#include "vornos/abi/directory_record.h"

namespace vornos {

// Everything a record knows: kind, size, read-only, date, serial.
void status_from_record(const vornos_directory_record& record, struct stat* status);
// A directory or file that no record describes: the kind and size alone.
void status_of_kind(bool directory, off_t size, struct stat* status);
// The status of the directory open on `fd` from its own "." record, read from its start; the
// root, which has none, is the directory without an entry (st_ino 1).
void status_of_open_directory(int fd, struct stat* status);
// The record of the entry named `name` (compared without regard to ASCII case) in the
// directory open on `fd`, read from its start; false when it holds none.
bool find_record(int fd, const char* name, vornos_directory_record* found);

}  // namespace vornos
