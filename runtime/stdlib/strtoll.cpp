// strtoll and strtoull: 64-bit integers as the C standard reads them, beside the system's own
// strtol and strtoul, which keep their narrower rules (no sign, four blanks, wrap-around).
// Standard here: the six isspace blanks, one sign, the 0x prefix and octal 0 for base 0, and
// for base 16 the 0x prefix, digits 0-9 and letters up to z for bases 2 to 36, and results
// clamped to the type's range. errno is left alone: in this library only the heap sets it,
// so an overflow shows as the clamped value (LLONG_MAX, LLONG_MIN or ULLONG_MAX).
#include <stdint.h>
#include <stdlib.h>

namespace {

bool is_standard_blank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int digit_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

struct Magnitude {
  uint64_t value;
  bool negative;
  bool overflow;  // the digits exceed `limit`; value is then `limit`
};

// Reads sign, prefix and digits of s; values above `limit` are clamped to it. When no digit
// is taken, *end is s itself. A base other than 0 or 2-36 converts nothing.
Magnitude read_magnitude(const char* s, char** end, int base, uint64_t limit) {
  Magnitude m = {0, false, false};
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  const unsigned char* const start = p;
  if (s == nullptr || base < 0 || base == 1 || base > 36) {
    if (end != nullptr) *end = const_cast<char*>(s);
    return m;
  }
  while (is_standard_blank(*p)) ++p;
  if (*p == '+' || *p == '-') m.negative = (*p++ == '-');
  // "0x" counts as a prefix only when a hexadecimal digit follows; otherwise the 0 is the number.
  const bool hex_prefix = p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit_value(p[2]) < 16;
  if ((base == 0 || base == 16) && hex_prefix) {
    p += 2;
    base = 16;
  } else if (base == 0) {
    base = (p[0] == '0') ? 8 : 10;
  }
  const uint64_t ubase = static_cast<uint64_t>(base);
  const uint64_t cutoff = limit / ubase;
  const uint64_t last_digit = limit % ubase;
  const unsigned char* const digits = p;
  for (int d = digit_value(*p); d < base; d = digit_value(*++p)) {
    const uint64_t digit = static_cast<uint64_t>(d);
    if (m.overflow || m.value > cutoff || (m.value == cutoff && digit > last_digit)) {
      m.overflow = true;  // keep reading: the end lies after every digit
      m.value = limit;
    } else {
      m.value = m.value * ubase + digit;
    }
  }
  if (end != nullptr) *end = const_cast<char*>(reinterpret_cast<const char*>(p == digits ? start : p));
  if (p == digits) m.negative = false;
  return m;
}

}  // namespace

extern "C" {

long long strtoll(const char* s, char** end, int base) {
  // The magnitude may reach 2^63 for a negative number, one more than LLONG_MAX.
  constexpr uint64_t kMax = static_cast<uint64_t>(INT64_MAX);
  const char* sign = s;
  while (sign != nullptr && is_standard_blank(static_cast<unsigned char>(*sign))) ++sign;
  const bool minus = sign != nullptr && *sign == '-';
  const Magnitude m = read_magnitude(s, end, base, minus ? kMax + 1 : kMax);
  if (!m.negative) return static_cast<long long>(m.value);
  if (m.value == kMax + 1) return INT64_MIN;
  return -static_cast<long long>(m.value);
}

// A minus sign negates the value modulo 2^64, as the standard says; only a magnitude beyond
// 64 bits clamps, to ULLONG_MAX whatever the sign.
unsigned long long strtoull(const char* s, char** end, int base) {
  const Magnitude m = read_magnitude(s, end, base, UINT64_MAX);
  if (m.overflow) return UINT64_MAX;
  return m.negative ? 0 - m.value : m.value;
}

}  // extern "C"

// intmax_t is long long here: the same parsers under <inttypes.h>'s names.
extern "C" {

intmax_t strtoimax(const char* s, char** end, int base) { return strtoll(s, end, base); }
uintmax_t strtoumax(const char* s, char** end, int base) { return strtoull(s, end, base); }

}  // extern "C"
