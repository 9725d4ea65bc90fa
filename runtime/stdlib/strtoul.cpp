// strtoul and strtol: an unsigned integer in a given or detected base, and where it ended.
#include <stdint.h>
#include <stdlib.h>

namespace {

// The integer parsers skip tab, newline, carriage return and space; vertical tab and form
// feed end the skipping like any other character.
bool is_integer_blank(unsigned char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// '0'-'9', 'a'-'f' and 'A'-'F'; no other character is a digit whatever the base, so a base
// above 16 takes exactly the digits of base 16. -1 when the character has no digit value.
int digit_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool starts_hex_prefix(const unsigned char* p) {
  return p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
}

}  // namespace

extern "C" {

unsigned long strtoul(const char* s, char** end, int base) {
  if (s == nullptr) {
    if (end != nullptr) *end = nullptr;
    return 0;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  while (is_integer_blank(*p)) ++p;

  if (base == 0) {
    if (starts_hex_prefix(p)) {
      p += 2;
      base = 16;
    } else if (p[0] == '0') {
      p += 1;  // the leading 0 of an octal number is stepped over, and counts as taken
      base = 8;
    } else {
      base = 10;
    }
  } else if (base == 16 && starts_hex_prefix(p)) {
    p += 2;
  }

  // No sign is recognised: '+' and '-' have no digit value and end the scan. The base is
  // compared as a signed int, so base 1 takes only '0' and a negative base takes nothing.
  uint32_t value = 0;
  for (int digit = digit_value(*p); digit >= 0 && digit < base; digit = digit_value(*++p)) {
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
  }
  if (end != nullptr) *end = const_cast<char*>(reinterpret_cast<const char*>(p));
  return value;
}

// The same scan; the 32 result bits are read as two's complement.
long strtol(const char* s, char** end, int base) {
  return static_cast<long>(strtoul(s, end, base));
}

}  // extern "C"
