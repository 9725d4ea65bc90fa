// strcasecmp and strncasecmp: comparison with the ASCII capitals folded to lower case.
#include <string.h>

namespace {

// Only 'A' to 'Z' fold; every other byte, those above 0x7F included, stays as it is.
int folded(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? byte + 0x20 : byte;
}

// Compares at most limit positions of two strings that are both present.
int compare_folded(const char* a, const char* b, size_t limit) {
  for (; limit != 0; --limit, ++a, ++b) {
    const int x = folded(*a);
    const int y = folded(*b);
    if (x != y) return x - y;
    if (x == 0) break;
  }
  return 0;
}

}  // namespace

extern "C" {

int strcasecmp(const char* a, const char* b) {
  if (a == nullptr) return b == nullptr ? 0 : -1;
  if (b == nullptr) return 1;
  return compare_folded(a, b, static_cast<size_t>(-1));
}

int strncasecmp(const char* a, const char* b, size_t n) {
  if (n == 0 || a == b) return 0;
  if (a == nullptr) return -1;
  if (b == nullptr) return 1;
  return compare_folded(a, b, n);
}

}  // extern "C"
