// sprintf and vsprintf: the buffer formatter with a fixed bound in place of a size.
#include <stdarg.h>
#include <stdio.h>

namespace {
// The caller promises this much room: at most 65535 characters and a NUL are stored.
constexpr size_t kUnboundedBufferSize = 65536;
}  // namespace

extern "C" int vsprintf(char* buffer, const char* format, va_list args) {
  return vsnprintf(buffer, kUnboundedBufferSize, format, args);
}

extern "C" int sprintf(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = vsnprintf(buffer, kUnboundedBufferSize, format, args);
  va_end(args);
  return length;
}
