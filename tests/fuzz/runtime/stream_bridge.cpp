// Library side of the stream-formatter target: formats onto a memory stream made here with
// the runtime's own headers, so the fuzz program needs no FILE of its own.
#include <stdarg.h>
#include <stdio.h>

extern "C" int fuzz_print_to_memory(char** text, size_t* length, const char* format, ...) {
  FILE stream = {STREAM_MEM, 0, nullptr, nullptr, 0, 0, text, length, 0, 0, 0};
  va_list args;
  va_start(args, format);
  const int result = vfprintf(&stream, format, args);
  va_end(args);
  return result;
}
