// printf and fprintf: front ends of the stream formatter.
#include <stdarg.h>
#include <stdio.h>

extern "C" {

int fprintf(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = vfprintf(stream, format, args);
  va_end(args);
  return result;
}

// stdout is read at every call: a program may point it at another stream.
int printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = vfprintf(stdout, format, args);
  va_end(args);
  return result;
}

}  // extern "C"
