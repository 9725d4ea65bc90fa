// strcat and strncat: appending a string after the destination's own.
#include <string.h>

#include "pointer_rules.h"

using vornos::is_low_pointer;

extern "C" {

// A destination in the lowest page measures as empty but cannot be written: it is returned
// untouched, as a null one is.
char* strcat(char* d, const char* s) {
  if (is_low_pointer(d)) return d;
  strcpy(d + strlen(d), s);
  return d;
}

// Appends at most n bytes of s and then one NUL: at most n + 1 bytes are written.
char* strncat(char* d, const char* s, size_t n) {
  if (is_low_pointer(d)) return d;
  char* end = d + strlen(d);
  if (s == nullptr || n == 0) return d;
  for (; n != 0 && *s != '\0'; --n) *end++ = *s++;
  *end = '\0';
  return d;
}

}  // extern "C"
