// strdup and strndup: a copy of a string on the heap, exactly as large as it needs to be.
#include <stdlib.h>
#include <string.h>

namespace {

// One allocation of length + 1 bytes: the first length bytes of s, then a NUL.
char* copy_to_heap(const char* s, size_t length) {
  char* copy = static_cast<char*>(malloc(length + 1));
  if (copy == nullptr) return nullptr;  // the heap has set errno
  memcpy(copy, s, length);
  copy[length] = '\0';
  return copy;
}

}  // namespace

extern "C" {

// A pointer into the lowest page measures as empty (strlen and strnlen never read it), so
// it duplicates as the empty string.
char* strdup(const char* s) {
  if (s == nullptr) return nullptr;
  return copy_to_heap(s, strlen(s));
}

// Reads at most n bytes of s.
char* strndup(const char* s, size_t n) {
  if (s == nullptr) return nullptr;
  return copy_to_heap(s, strnlen(s, n));
}

}  // extern "C"
