// fputc and putchar: one byte through the write path.
#include <stdio.h>

#include "file_write.h"

extern "C" {

// The low eight bits are written, but c comes back exactly as given: fputc(0x141, f) writes
// 'A' and returns 0x141, and fputc(-1, f) returns -1 even when the byte 0xFF was written.
int fputc(int c, FILE* stream) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return vornos::file_write_bytes(stream, &byte, 1) == 0 ? c : EOF;
}

// stdout is read at every call: a program may point it at another stream.
int putchar(int c) { return fputc(c, stdout); }

}  // extern "C"
