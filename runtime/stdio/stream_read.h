// Reading a descriptor stream, as fread does, and one byte at a time, as fgetc, getchar and
// fscanf do; private to the stdio unit.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <unistd.h>

namespace vornos {

// One read call for up to `count` bytes. Nothing, or an error, raises eof (a kernel error
// reads as the end of the data) and gives 0; whatever the kernel reports taken counts in pos
// and is returned.
inline uint32_t read_stream(FILE* stream, void* dest, uint32_t count) {
  const int taken = read(stream->fd, dest, count);
  if (taken <= 0) {
    stream->eof = 1;
    return 0;
  }
  stream->pos = static_cast<int32_t>(static_cast<uint32_t>(stream->pos) + static_cast<uint32_t>(taken));
  return static_cast<uint32_t>(taken);
}

// One read call for one byte: the byte as 0 to 255, or -1 when no single byte came.
inline int read_stream_byte(FILE* stream) {
  unsigned char byte;
  return read_stream(stream, &byte, 1) == 1 ? byte : -1;
}

}  // namespace vornos
