// fclose: finish a stream the way its kind requires, then release it.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "standard_streams.h"

namespace {

// The standard streams are never closed: neither what the three pointers name now nor the
// three static records, which a program may have pointed them away from.
bool is_standard(const FILE* stream) {
  return stream == stdin || stream == stdout || stream == stderr || stream == &g_stdin ||
         stream == &g_stdout || stream == &g_stderr;
}

// A file opened for writing gets its whole content in one call; a stream never written
// makes an empty file.
int write_out(const FILE* stream) {
  if (stream->path == nullptr) return -1;
  const char* data = stream->buf != nullptr ? stream->buf : "";
  return writefile(stream->path, data, stream->len) < 0 ? -1 : 0;
}

}  // namespace

// 0, the kernel's code of a failed close, or -1 for a file that was not written. The
// record is released whatever the result; a memory stream's buffer belongs to the caller.
extern "C" int fclose(FILE* stream) {
  if (stream == nullptr) return -1;
  if (is_standard(stream)) return 0;
  int result = 0;
  if (stream->kind == STREAM_FD) {
    if (stream->fd > 2) result = close(stream->fd);  // descriptors 0 to 2 stay open
  } else if (stream->kind == STREAM_FILEBUF) {
    result = write_out(stream);
  }
  if (stream->kind != STREAM_MEM && stream->buf != nullptr) free(stream->buf);
  if (stream->path != nullptr) free(stream->path);
  free(stream);
  return result;
}
