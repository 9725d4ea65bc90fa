// fwrite: count elements of size bytes in one write, all or nothing.
#include <stdint.h>
#include <stdio.h>

#include "file_write.h"

extern "C" size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
  if (data == nullptr || stream == nullptr || size == 0 || count == 0) return 0;
  uint32_t total;
  if (__builtin_mul_overflow(size, count, &total)) return 0;
  return vornos::file_write_bytes(stream, data, total) == 0 ? count : 0;
}
