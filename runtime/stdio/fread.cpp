// fread: one read call for count elements of size bytes; no loop to fill the request.
#include <stdint.h>
#include <stdio.h>

#include "stream_read.h"

// Whole elements read. Bytes of a trailing part element land in dest and count in pos; a
// read that brings less than asked for counts as the end of the data.
extern "C" size_t fread(void* dest, size_t size, size_t count, FILE* stream) {
  if (dest == nullptr || stream == nullptr || size == 0 || count == 0) return 0;
  if (stream->kind != STREAM_FD) return 0;
  uint32_t total;
  if (__builtin_mul_overflow(size, count, &total)) return 0;
  const uint32_t bytes = vornos::read_stream(stream, dest, total);
  if (bytes < total) stream->eof = 1;
  return bytes / size;
}
