// String measures. A pointer below 4096 (null included) is never read and counts as empty:
// no valid object of a program of the system lies in the first page.
#include <stdint.h>
#include <string.h>

#include "pointer_rules.h"

using vornos::is_low_pointer;

extern "C" {

size_t strlen(const char* s) {
  if (is_low_pointer(s)) return 0;
  size_t n = 0;
  while (s[n] != '\0') ++n;
  return n;
}

size_t strnlen(const char* s, size_t limit) {
  if (is_low_pointer(s)) return 0;
  size_t n = 0;
  while (n < limit && s[n] != '\0') ++n;
  return n;
}

}  // extern "C"
