// atoi and atol: a signed decimal integer, wrapping modulo 2^32, with no end position.
#include <stdint.h>
#include <stdlib.h>

namespace {

// This set differs from strtoul's: a carriage return is not skipped here.
bool is_atoi_blank(unsigned char c) { return c == '\t' || c == '\n' || c == ' '; }

bool is_decimal_digit(unsigned char c) { return c >= '0' && c <= '9'; }

int32_t parse_signed_decimal(const char* s) {
  if (s == nullptr) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  while (is_atoi_blank(*p)) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  // A lone sign, a second sign or a blank after the sign is no number.
  uint32_t value = 0;
  for (; is_decimal_digit(*p); ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
  return static_cast<int32_t>(negative ? 0u - value : value);
}

}  // namespace

extern "C" {

int atoi(const char* s) { return parse_signed_decimal(s); }

long atol(const char* s) { return parse_signed_decimal(s); }

}  // extern "C"
