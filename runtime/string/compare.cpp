// strcmp and strncmp: byte-wise comparison, the result the difference of the first unequal bytes.
#include <string.h>

#include "pointer_rules.h"

using vornos::is_low_pointer;

extern "C" {

int strcmp(const char* a, const char* b) {
  if (a == b) return 0;
  if (is_low_pointer(a)) return -1;
  if (is_low_pointer(b)) return 1;
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  for (; *x == *y && *x != 0; ++x, ++y) {
  }
  return *x - *y;
}

int strncmp(const char* a, const char* b, size_t n) {
  if (n == 0 || a == b) return 0;
  if (is_low_pointer(a)) return -1;
  if (is_low_pointer(b)) return 1;
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  for (; n != 0; --n, ++x, ++y) {
    if (*x != *y) return *x - *y;
    if (*x == 0) break;
  }
  return 0;
}

}  // extern "C"
