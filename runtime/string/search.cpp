// strchr, strrchr and strstr: finding a byte or a string within a string.
#include <string.h>

extern "C" {

// A c whose low byte is 0 finds the terminator.
char* strchr(const char* s, int c) {
  if (s == nullptr) return nullptr;
  const char wanted = static_cast<char>(c);
  for (;; ++s) {
    if (*s == wanted) return const_cast<char*>(s);
    if (*s == '\0') return nullptr;
  }
}

char* strrchr(const char* s, int c) {
  if (s == nullptr) return nullptr;
  const char wanted = static_cast<char>(c);
  const char* last = nullptr;
  for (;; ++s) {
    if (*s == wanted) last = s;
    if (*s == '\0') return const_cast<char*>(last);
  }
}

// Tries every starting position in turn; an empty k is found at the start of h.
char* strstr(const char* h, const char* k) {
  if (h == nullptr || k == nullptr) return nullptr;
  if (*k == '\0') return const_cast<char*>(h);
  for (; *h != '\0'; ++h) {
    size_t i = 0;
    while (k[i] != '\0' && h[i] == k[i]) ++i;
    if (k[i] == '\0') return const_cast<char*>(h);
  }
  return nullptr;
}

}  // extern "C"
