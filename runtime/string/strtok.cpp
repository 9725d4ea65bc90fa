// strtok: splits a string into tokens in place, keeping its place between calls.
#include <string.h>

namespace {

// Where the next call goes on; null when no string is being tokenized.
char* s_next = nullptr;

// The terminator is never a delimiter, whatever the set.
bool is_delimiter(char c, const char* delims) {
  for (; *delims != '\0'; ++delims) {
    if (*delims == c) return true;
  }
  return false;
}

}  // namespace

extern "C" char* strtok(char* s, const char* delims) {
  if (s != nullptr) s_next = s;
  char* p = s_next;
  if (p == nullptr) return nullptr;
  s_next = nullptr;
  // Without delimiters the token is the whole rest of the string.
  const bool has_delimiters = delims != nullptr && *delims != '\0';
  if (has_delimiters) {
    while (*p != '\0' && is_delimiter(*p, delims)) ++p;
  }
  if (*p == '\0') return nullptr;
  if (!has_delimiters) return p;
  for (char* end = p; *end != '\0'; ++end) {
    if (is_delimiter(*end, delims)) {
      *end = '\0';
      s_next = end + 1;
      break;
    }
  }
  return p;
}
