// strcpy and strncpy: copying a string into the caller's array.
#include <string.h>

extern "C" {

char* strcpy(char* d, const char* s) {
  if (d == nullptr) return nullptr;
  if (s == nullptr) s = "";
  char* to = d;
  while ((*to++ = *s++) != '\0') {
  }
  return d;
}

// Writes exactly n bytes: the source's bytes before its NUL, as many as fit, then zeros.
// A source of n bytes or more leaves the destination without a terminator.
char* strncpy(char* d, const char* s, size_t n) {
  if (d == nullptr || n == 0) return d;
  size_t i = 0;
  if (s != nullptr) {
    for (; i < n && s[i] != '\0'; ++i) d[i] = s[i];
  }
  for (; i < n; ++i) d[i] = '\0';
  return d;
}

}  // extern "C"
