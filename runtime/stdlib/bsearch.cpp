// bsearch: binary search of a sorted array; any one of several equal elements may be found.
#include <stdlib.h>

extern "C" void* bsearch(const void* key, const void* base, size_t count, size_t size,
                         int (*compare)(const void*, const void*)) {
  if (base == nullptr || size == 0 || compare == nullptr) return nullptr;
  const unsigned char* bytes = static_cast<const unsigned char*>(base);
  size_t low = 0, high = count;  // the key, if present, lies in [low, high)
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const unsigned char* element = bytes + middle * size;
    const int order = compare(key, element);
    if (order == 0) return const_cast<unsigned char*>(element);
    if (order < 0) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return nullptr;
}
