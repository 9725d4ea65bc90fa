// open_memstream: a stream that writes into a growing buffer handed to the caller.
#include <stdio.h>
#include <stdlib.h>

// The caller's variables are written only once the stream exists; until the first write
// they hold a null buffer and a size of 0, then the write path keeps them up to date.
extern "C" FILE* open_memstream(char** bufp, size_t* sizep) {
  if (bufp == nullptr || sizep == nullptr) return nullptr;
  FILE* stream = static_cast<FILE*>(calloc(1, sizeof(FILE)));
  if (stream == nullptr) return nullptr;
  stream->kind = STREAM_MEM;
  stream->user_buf = bufp;
  stream->user_size = sizep;
  *bufp = nullptr;
  *sizep = 0;
  return stream;
}
