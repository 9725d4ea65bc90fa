// abs and labs. The most negative value has no positive counterpart in 32 bits: its
// negation wraps to itself, so it comes back unchanged.
#include <stdint.h>
#include <stdlib.h>

namespace {

int32_t magnitude(int32_t x) {
  return x < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(x)) : x;
}

}  // namespace

extern "C" {

int abs(int x) { return magnitude(x); }

long labs(long x) { return magnitude(x); }

}  // extern "C"
