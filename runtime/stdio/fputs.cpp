// fputs and puts: a string through the write path, puts with a newline after it.
#include <stdio.h>
#include <string.h>

#include "file_write.h"

using vornos::file_write_bytes;

extern "C" {

// The string's length on success. A null stream fails even for the empty string.
int fputs(const char* s, FILE* stream) {
  if (s == nullptr) return EOF;
  const size_t length = strlen(s);
  return file_write_bytes(stream, s, length) == 0 ? static_cast<int>(length) : EOF;
}

// No newline follows a string that failed.
int puts(const char* s) {
  if (s == nullptr) return EOF;
  FILE* const out = stdout;
  if (file_write_bytes(out, s, strlen(s)) != 0) return EOF;
  return file_write_bytes(out, "\n", 1) == 0 ? 0 : EOF;
}

}  // extern "C"
