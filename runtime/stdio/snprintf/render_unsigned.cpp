// Integer digits for the buffer formatter, in 32-bit arithmetic.
#include "render.h"

namespace vornos {
namespace {

char digit(uint32_t value, int upper) {
  return (upper != 0 ? "0123456789ABCDEF" : "0123456789abcdef")[value];
}

}  // namespace

void snbuf_render_unsigned(char* destination, int* count, uint32_t value, uint32_t base,
                           int upper) {
  if (value == 0) {
    destination[0] = '0';
    *count = 1;
    return;
  }
  int n = 0;
  for (; value != 0; value /= base) destination[n++] = digit(value % base, upper);
  for (int i = 0, j = n - 1; i < j; ++i, --j) {
    const char swapped = destination[i];
    destination[i] = destination[j];
    destination[j] = swapped;
  }
  *count = n;
}

// Peels trailing digits off by long division until the rest fits in 32 bits, then lets the
// 32-bit renderer write the leading digits and appends the peeled ones. The dividend goes
// through the divider 16 bits at a time below the high word, so every step is a 32-bit
// division whose quotient fits (the remainder carried in is below the base, at most 16).
void snbuf_render_unsigned64(char* destination, int* count, uint64_t value, uint32_t base,
                             int upper) {
  uint32_t high = static_cast<uint32_t>(value >> 32);
  uint32_t low = static_cast<uint32_t>(value);
  char trailing[kSnbufMaxDigits];
  int peeled = 0;
  while (high != 0) {
    uint32_t remainder = high % base;
    high /= base;
    const uint32_t middle = (remainder << 16) | (low >> 16);
    remainder = middle % base;
    const uint32_t bottom = (remainder << 16) | (low & 0xFFFFu);
    low = ((middle / base) << 16) | (bottom / base);
    trailing[peeled++] = digit(bottom % base, upper);
  }
  snbuf_render_unsigned(destination, count, low, base, upper);
  while (peeled > 0) destination[(*count)++] = trailing[--peeled];
}

}  // namespace vornos
