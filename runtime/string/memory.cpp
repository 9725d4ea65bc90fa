// Memory-block functions: byte by byte, no pointer tests, no calls. The library is built
// freestanding so that the compiler does not turn these loops back into calls to themselves.
#include <string.h>

extern "C" {

void* memcpy(void* d, const void* s, size_t n) {
  unsigned char* to = static_cast<unsigned char*>(d);
  const unsigned char* from = static_cast<const unsigned char*>(s);
  for (size_t i = 0; i < n; ++i) to[i] = from[i];
  return d;
}

// Copies in the direction that reads every source byte before it can be overwritten.
void* memmove(void* d, const void* s, size_t n) {
  unsigned char* to = static_cast<unsigned char*>(d);
  const unsigned char* from = static_cast<const unsigned char*>(s);
  if (to == from || n == 0) return d;
  if (to < from) {
    for (size_t i = 0; i < n; ++i) to[i] = from[i];
  } else {
    for (size_t i = n; i > 0; --i) to[i - 1] = from[i - 1];
  }
  return d;
}

void* memset(void* d, int c, size_t n) {
  unsigned char* to = static_cast<unsigned char*>(d);
  const unsigned char byte = static_cast<unsigned char>(c);
  for (size_t i = 0; i < n; ++i) to[i] = byte;
  return d;
}

// The difference of the first differing bytes, each taken as 0..255.
int memcmp(const void* a, const void* b, size_t n) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < n; ++i) {
    if (x[i] != y[i]) return x[i] - y[i];
  }
  return 0;
}

}  // extern "C"
