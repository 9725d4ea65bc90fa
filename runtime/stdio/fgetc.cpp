// fgetc and getchar: one byte from a descriptor stream, one read call each.
#include <stdio.h>

#include "stream_read.h"

extern "C" {

// Only descriptor streams can be read; any other kind is refused and its eof left alone.
int fgetc(FILE* stream) {
  if (stream == nullptr || stream->kind != STREAM_FD) return EOF;
  return vornos::read_stream_byte(stream);
}

int getchar(void) { return fgetc(stdin); }

}  // extern "C"
