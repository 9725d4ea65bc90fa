// memchr and memrchr: the first or the last byte of a block equal to the low byte of c.
// Like the other memory-block functions they test no pointer: n bytes must be readable.
#include <string.h>

extern "C" {

void* memchr(const void* s, int c, size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(s);
  const unsigned char wanted = static_cast<unsigned char>(c);
  for (size_t i = 0; i < n; ++i) {
    if (p[i] == wanted) return const_cast<unsigned char*>(p + i);
  }
  return nullptr;
}

void* memrchr(const void* s, int c, size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(s);
  const unsigned char wanted = static_cast<unsigned char>(c);
  while (n > 0) {
    --n;
    if (p[n] == wanted) return const_cast<unsigned char*>(p + n);
  }
  return nullptr;
}

}  // extern "C"
