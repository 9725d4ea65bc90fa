// snprintf: the buffer formatter over the caller's own arguments.
#include <stdarg.h>
#include <stdio.h>

extern "C" int snprintf(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = vsnprintf(buffer, size, format, args);
  va_end(args);
  return length;
}
