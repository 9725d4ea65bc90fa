// fseek, ftell and rewind: the position of descriptor streams opened by fopen.
#include <stdio.h>
#include <unistd.h>

namespace {

// The standard descriptors 0 to 2 and the buffer kinds have no position to move or report.
bool can_seek(const FILE* stream) {
  return stream != nullptr && stream->kind == STREAM_FD && stream->fd > 2;
}

}  // namespace

extern "C" {

// A failed seek changes nothing; a successful one clears eof and takes the kernel's position.
int fseek(FILE* stream, long offset, int whence) {
  if (!can_seek(stream)) return -1;
  const int position = lseek(stream->fd, offset, whence);
  if (position < 0) return -1;
  stream->pos = position;
  stream->eof = 0;
  return 0;
}

// The position kept in the record; the kernel is not asked.
long ftell(FILE* stream) { return can_seek(stream) ? stream->pos : -1; }

// Back to the start where the stream can seek; the flags are cleared on every stream.
void rewind(FILE* stream) {
  if (stream == nullptr) return;
  fseek(stream, 0, SEEK_SET);  // a stream that cannot seek keeps its position
  stream->error = 0;
  stream->eof = 0;
}

}  // extern "C"
