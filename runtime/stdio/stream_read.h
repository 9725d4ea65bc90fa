// Reading a descriptor stream one byte at a time, as fgetc, getchar and fscanf do; private to
// the stdio unit.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <unistd.h>

namespace vornos {

// One read call for one byte. Nothing, or an error, raises eof (a kernel error reads as the
// end of the data); whatever the kernel reports taken counts in pos. The byte as 0 to 255,
// or -1 when no single byte came.
inline int read_stream_byte(FILE* stream) {
  unsigned char byte;
  const int taken = read(stream->fd, &byte, 1);
  if (taken <= 0) {
    stream->eof = 1;
    return -1;
  }
  stream->pos = static_cast<int32_t>(static_cast<uint32_t>(stream->pos) + static_cast<uint32_t>(taken));
  return taken == 1 ? byte : -1;
}

}  // namespace vornos
