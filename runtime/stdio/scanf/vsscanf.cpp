// The scanner: matches a format against a string and stores what it converts.
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

namespace {

// Each kind of item has its own whitespace. Conversions skip only blanks, never a newline:
// only a whitespace item of the format crosses lines.
bool is_format_space(unsigned char c) { return c == '\t' || c == '\n' || c == ' '; }
bool is_blank(unsigned char c) { return c == ' ' || c == '\t'; }
bool is_word_end(unsigned char c) { return c == '\0' || c == '\t' || c == '\n' || c == ' '; }
bool is_decimal(unsigned char c) { return c >= '0' && c <= '9'; }

// The value of c as a digit of `base` (8, 10 or 16), or -1.
int digit_value(unsigned char c, uint32_t base) {
  int value = -1;
  if (is_decimal(c)) {
    value = c - '0';
  } else if (base == 16 && c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else if (base == 16 && c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  }
  return value >= 0 && static_cast<uint32_t>(value) < base ? value : -1;
}

// The number of a 'd', 'i', 'u', 'x' or 'X' conversion, after blanks: a sign (not for 'u'),
// for 'i' a "0x" prefix or a leading 0 that makes it octal, then digits. Accumulates in 32
// bits, wrapping. False when no digit came.
bool scan_integer(const unsigned char*& in, unsigned char conversion, uint32_t& value) {
  while (is_blank(*in)) ++in;
  bool negative = false;
  if (conversion != 'u' && (*in == '-' || *in == '+')) negative = *in++ == '-';
  uint32_t base = conversion == 'x' || conversion == 'X' ? 16 : 10;
  if (conversion == 'i' && in[0] == '0') {
    if (in[1] == 'x' || in[1] == 'X') {
      in += 2;
      base = 16;
    } else {
      base = 8;  // the 0 is the first digit
    }
  }
  uint32_t magnitude = 0;
  bool any = false;
  for (int digit; (digit = digit_value(*in, base)) >= 0; ++in, any = true) {
    magnitude = magnitude * base + static_cast<uint32_t>(digit);
  }
  value = negative ? 0u - magnitude : magnitude;
  return any;
}

// The characters of a 's' conversion up to the next word end, all consumed; at most `limit`
// of them stored, then a NUL. Null `dest` stores nothing.
void scan_word(const unsigned char*& in, char* dest, uint32_t limit) {
  uint32_t stored = 0;
  for (; !is_word_end(*in); ++in) {
    if (dest != nullptr && stored < limit) dest[stored++] = static_cast<char>(*in);
  }
  if (dest != nullptr) dest[stored] = '\0';
}

}  // namespace

// Returns the number of values stored: a mismatch, the end of the input or a conversion
// it does not know ends the scan quietly, never with -1.
extern "C" int vsscanf(const char* str, const char* format, va_list args) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(str);
  const unsigned char* f = reinterpret_cast<const unsigned char*>(format);
  int count = 0;
  for (;; ++f) {
    if (*f == '\0') return count;
    if (is_format_space(*f)) {
      // Any run of format whitespace matches any run of it in the input, none included.
      while (is_format_space(*in)) ++in;
      while (is_format_space(f[1])) ++f;
      continue;
    }
    if (*f != '%') {
      if (*in != *f) return count;
      ++in;
      continue;
    }
    // '%', an optional '*', an optional width, the conversion character.
    const bool assign = *++f != '*';
    if (!assign) ++f;
    bool has_width = false;
    uint32_t width = 0;
    for (; is_decimal(*f); ++f) {
      has_width = true;
      width = width > (UINT32_MAX - 9) / 10 ? UINT32_MAX : width * 10 + (*f - '0');
    }
    switch (*f) {
      case '%':
        if (*in != '%') return count;
        ++in;
        break;
      case 'c':
        if (*in == '\0') return count;
        if (assign) {
          *va_arg(args, char*) = static_cast<char>(*in);
          ++count;
        }
        ++in;
        break;
      case 's': {
        while (is_blank(*in)) ++in;
        if (*in == '\0') return count;
        char* dest = assign ? va_arg(args, char*) : nullptr;
        // A width bounds what is stored, so that a caller can size the destination; without
        // one the whole word is stored. Either way the whole word is consumed.
        scan_word(in, dest, has_width ? width : UINT32_MAX);
        if (dest != nullptr) ++count;
        break;
      }
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X': {
        uint32_t value;
        if (!scan_integer(in, *f, value)) return count;
        if (assign) {
          *va_arg(args, uint32_t*) = value;
          ++count;
        }
        break;
      }
      default:
        return count;  // not a conversion of this scanner, the end of the format included
    }
  }
}
