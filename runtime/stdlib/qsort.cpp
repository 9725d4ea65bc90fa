// qsort: heapsort in place, so that no input order costs more than n log n comparisons and
// nothing is allocated or recursed into (the heap never gives memory back, the stack is the
// program's). Not stable, as the standard allows.
#include <stdlib.h>

namespace {

using Compare = int (*)(const void*, const void*);

void swap_bytes(unsigned char* a, unsigned char* b, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const unsigned char t = a[i];
    a[i] = b[i];
    b[i] = t;
  }
}

// Moves element `root` down until neither child of it is larger, within the first `count`.
void sift_down(unsigned char* base, size_t root, size_t count, size_t size, Compare compare) {
  for (;;) {
    size_t largest = root;
    const size_t left = 2 * root + 1;
    const size_t right = left + 1;
    if (left < count && compare(base + left * size, base + largest * size) > 0) largest = left;
    if (right < count && compare(base + right * size, base + largest * size) > 0) largest = right;
    if (largest == root) return;
    swap_bytes(base + root * size, base + largest * size, size);
    root = largest;
  }
}

}  // namespace

extern "C" void qsort(void* base, size_t count, size_t size, Compare compare) {
  if (base == nullptr || count < 2 || size == 0 || compare == nullptr) return;
  unsigned char* bytes = static_cast<unsigned char*>(base);
  for (size_t root = count / 2; root-- > 0;) sift_down(bytes, root, count, size, compare);
  for (size_t end = count - 1; end > 0; --end) {
    swap_bytes(bytes, bytes + end * size, size);
    sift_down(bytes, 0, end, size, compare);
  }
}
