// strspn, strcspn and strpbrk: runs of bytes in or out of a set. A null string or set counts
// as empty, as strchr's null string finds nothing.
#include <string.h>

namespace {

bool in_set(const char* set, char c) {
  if (set == nullptr) return false;
  for (; *set != '\0'; ++set) {
    if (*set == c) return true;
  }
  return false;
}

// The length of the prefix of s whose bytes are all in `set` (want_in) or all outside it.
size_t run_length(const char* s, const char* set, bool want_in) {
  if (s == nullptr) return 0;
  size_t n = 0;
  while (s[n] != '\0' && in_set(set, s[n]) == want_in) ++n;
  return n;
}

}  // namespace

extern "C" {

size_t strspn(const char* s, const char* accept) { return run_length(s, accept, true); }

size_t strcspn(const char* s, const char* reject) { return run_length(s, reject, false); }

char* strpbrk(const char* s, const char* accept) {
  const size_t n = run_length(s, accept, false);
  if (s == nullptr || s[n] == '\0') return nullptr;
  return const_cast<char*>(s + n);
}

}  // extern "C"
