// The stream formatter: printf-style output in which each piece goes to the stream at once.
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "file_write.h"

namespace {

using vornos::file_write_bytes;

// Where the formatted pieces go: every piece is written at once and counted once written
// (unsigned: counting is defined however much is written). Kept out of line: inlined at
// each of the formatter's many call sites it would cost far more code than the calls do.
struct Sink {
  FILE* stream;
  uint32_t count;

  [[gnu::noinline]] bool put(const char* data, uint32_t n) {
    if (file_write_bytes(stream, data, n) != 0) return false;
    count += n;
    return true;
  }
  int result() const { return static_cast<int>(count); }

  // Padding goes out one byte per write, like every other single character.
  [[gnu::noinline]] bool repeat(char c, int32_t times) {
    for (; times > 0; --times) {
      if (!put(&c, 1)) return false;
    }
    return true;
  }
};

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A run of decimal digits at the cursor (none gives 0); the cursor moves past it. The value
// stops growing at INT32_MAX: a written width or precision never wraps to a small one.
int32_t read_decimal(const char*& cursor) {
  uint32_t value = 0;
  for (; is_digit(*cursor); ++cursor) {
    const uint32_t digit = static_cast<uint32_t>(*cursor - '0');
    value = value > (INT32_MAX - digit) / 10 ? INT32_MAX : value * 10 + digit;
  }
  return static_cast<int32_t>(value);
}

// The spaces that right-align a field of `length` bytes in `width`; none when the width is
// not above the length. Compared unsigned: neither a width of INT32_MIN from '*' nor a
// length past INT32_MAX (a precision near it plus sign and digits) may wrap the difference.
int32_t padding(int32_t width, uint32_t length) {
  return width > 0 && static_cast<uint32_t>(width) > length
             ? static_cast<int32_t>(static_cast<uint32_t>(width) - length)
             : 0;
}

// A right-aligned string: spaces, then at most `precision` characters (all when negative).
bool put_string(Sink& out, const char* text, int32_t width, int32_t precision) {
  if (text == nullptr) text = "(null)";
  // strnlen, not strlen: with a precision, nothing beyond it is read.
  const uint32_t length = strnlen(text, precision < 0 ? UINT32_MAX : static_cast<uint32_t>(precision));
  return out.repeat(' ', padding(width, length)) && out.put(text, length);
}

// A right-aligned integer: spaces, '-', "0x" for a pointer, zeros up to the precision, then
// the digits in one piece. Every value, 32-bit ones too, goes through 64-bit division.
bool put_integer(Sink& out, uint64_t magnitude, bool negative, bool pointer, uint32_t base,
                 int32_t width, int32_t precision) {
  char scratch[32];
  char* digits = scratch + sizeof scratch;
  do {
    const uint64_t quotient = magnitude / base;
    *--digits = "0123456789abcdef"[magnitude - quotient * base];
    magnitude = quotient;
  } while (magnitude != 0);
  const int32_t digit_count = static_cast<int32_t>(scratch + sizeof scratch - digits);
  const int32_t zeros = precision > digit_count ? precision - digit_count : 0;
  const uint32_t field = (negative ? 1u : 0u) + (pointer ? 2u : 0u) + static_cast<uint32_t>(zeros) +
                         static_cast<uint32_t>(digit_count);
  if (!out.repeat(' ', padding(width, field))) return false;
  if (negative && !out.put("-", 1)) return false;
  if (pointer && !(out.put("0", 1) && out.put("x", 1))) return false;
  return out.repeat('0', zeros) && out.put(digits, static_cast<uint32_t>(digit_count));
}

// A descriptor-1 stream whose format begins with "%c" takes one four-byte console sequence
// first: 0xFF and the low bytes of the next three arguments, in one write, not counted.
bool is_console_sequence(const FILE* stream, const char* format) {
  return stream->kind == STREAM_FD && stream->fd == 1 && format[0] == '%' && format[1] == 'c';
}

}  // namespace

extern "C" int vfprintf(FILE* stream, const char* format, va_list args) {
  if (stream == nullptr || format == nullptr) return -1;
  if (is_console_sequence(stream, format)) {
    unsigned char sequence[4] = {0xFF, 0, 0, 0};
    for (int i = 1; i < 4; ++i) sequence[i] = static_cast<unsigned char>(va_arg(args, uint32_t));
    if (file_write_bytes(stream, sequence, sizeof sequence) != 0) return -1;
    format += 2;
  }

  Sink out{stream, 0};
  for (;;) {
    const char* piece = format++;
    if (*piece == '\0') return out.result();
    if (*piece != '%') {
      if (!out.put(piece, 1)) return -1;
      continue;
    }

    // Width, precision, length, conversion: no flags. '*' takes its argument in that order.
    int32_t width;
    if (*format == '*') {
      ++format;
      width = va_arg(args, int32_t);
    } else {
      width = read_decimal(format);
    }
    int32_t precision = -1;
    if (*format == '.') {
      ++format;
      if (*format == '*') {
        ++format;
        precision = va_arg(args, int32_t);
      } else {
        precision = read_decimal(format);
      }
      if (precision < 0) precision = -1;
    }
    bool wide = false;  // "ll": a 64-bit argument of two words, low first
    if (*format == 'l') {
      ++format;
      if (*format == 'l') {
        ++format;
        wide = true;
      }
    }
    // A format that ends inside a specification ends there; the fragment writes nothing.
    const char conversion = *format;
    if (conversion == '\0') return out.result();
    ++format;

    bool ok;
    switch (conversion) {
      case '%':
        ok = out.put("%", 1);
        break;
      case 'c': {
        const char c = static_cast<char>(va_arg(args, uint32_t));
        ok = out.put(&c, 1);
        break;
      }
      case 's':
        ok = put_string(out, va_arg(args, const char*), width, precision);
        break;
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'p': {
        const bool is_signed = conversion == 'd' || conversion == 'i';
        uint64_t value = va_arg(args, uint32_t);
        if (wide) {
          value |= static_cast<uint64_t>(va_arg(args, uint32_t)) << 32;
        } else if (is_signed) {
          value = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(value)));
        }
        // The negation is taken as unsigned, so the most negative values print in full.
        const bool negative = is_signed && static_cast<int64_t>(value) < 0;
        if (negative) value = 0 - value;
        const uint32_t base = conversion == 'x' || conversion == 'p' ? 16 : 10;
        ok = put_integer(out, value, negative, conversion == 'p', base, width, precision);
        break;
      }
      default:
        // Not a conversion of this formatter: echo '%' and the character, and go on after it.
        ok = out.put("%", 1) && out.put(&conversion, 1);
        break;
    }
    if (!ok) return -1;
  }
}
