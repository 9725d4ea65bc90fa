// Digit rendering of the buffer formatter; private to the stdio unit.
#pragma once

#include <stdint.h>

namespace vornos {

// The longest rendering: a 64-bit value in base 10.
constexpr int kSnbufMaxDigits = 20;

// Writes the digits of value in base 10 or 16, most significant first, without a NUL, and
// their number to *count. Only 32-bit division is used.
void snbuf_render_unsigned(char* destination, int* count, uint32_t value, uint32_t base,
                           int upper);

// The same for a 64-bit value (the 'll' conversions), still with 32-bit division only.
void snbuf_render_unsigned64(char* destination, int* count, uint64_t value, uint32_t base,
                             int upper);

}  // namespace vornos
