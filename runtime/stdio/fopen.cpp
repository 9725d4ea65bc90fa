// fopen: a descriptor stream for reading, a file-buffer stream for writing, or a standard
// stream for the path "-".
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

FILE* new_record(int kind) {
  FILE* stream = static_cast<FILE*>(calloc(1, sizeof(FILE)));
  if (stream != nullptr) stream->kind = kind;
  return stream;
}

FILE* open_for_reading(const char* path) {
  const int fd = open(path, O_RDONLY, 0);
  if (fd < 0) return nullptr;
  FILE* stream = new_record(STREAM_FD);
  if (stream == nullptr) {
    close(fd);
    return nullptr;
  }
  stream->fd = fd;
  return stream;
}

// Nothing reaches the file system here: the content collects in memory and is written as a
// whole at fclose, so the path is only kept.
FILE* open_for_writing(const char* path) {
  FILE* stream = new_record(STREAM_FILEBUF);
  if (stream == nullptr) return nullptr;
  stream->path = strdup(path);
  if (stream->path == nullptr) {
    free(stream);
    return nullptr;
  }
  return stream;
}

}  // namespace

// Only the first character of the mode counts: 'r' or 'w'; "rb", "r+" and "w+" read or
// write like "r" and "w".
extern "C" FILE* fopen(const char* path, const char* mode) {
  if (mode == nullptr) return nullptr;
  const char how = mode[0];
  if (path == nullptr || strcmp(path, "-") == 0) {
    return how == 'r' ? stdin : how == 'w' ? stdout : nullptr;
  }
  if (how == 'r') return open_for_reading(path);
  if (how == 'w') return open_for_writing(path);
  return nullptr;
}
