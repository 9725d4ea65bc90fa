// sscanf: the scanner over a string, with its own variable arguments.
#include <stdarg.h>
#include <stdio.h>

extern "C" int sscanf(const char* str, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = vsscanf(str, format, args);
  va_end(args);
  return result;
}
