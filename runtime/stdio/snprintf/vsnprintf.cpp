// The buffer formatter: formats into the caller's array, cut to its size, never failing.
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

#include "render.h"

namespace vornos {
namespace {

// The destination and the count of characters produced so far. The character produced at
// position i is stored only when i < limit (size - 1), so the last byte always stays free
// for the NUL; counting goes on after the array is full, since the count is the result. The
// count stops at 2^32 - 1 instead of wrapping: a wrapped count would pass the limit test
// again and store before the array, and would report a cut output as complete. The three
// stores stay out of line: inlined at each of their many uses they cost a third more code.
struct BufferSink {
  char* buffer;  // null when nothing may be stored, not even the NUL
  uint32_t limit;
  uint32_t position;

  void advance(uint32_t count) {
    position = count > UINT32_MAX - position ? UINT32_MAX : position + count;
  }
  [[gnu::noinline]] void put(char c) {
    if (position < limit) buffer[position] = c;
    advance(1);
  }
  [[gnu::noinline]] void put_run(const char* text, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) put(text[i]);
  }
  // Padding may be far wider than the array: what cannot be stored is only counted.
  [[gnu::noinline]] void repeat(char c, uint32_t times) {
    for (; times != 0 && position < limit; --times) buffer[position++] = c;
    advance(times);
  }
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A run of decimal digits. It stops growing at INT32_MAX: a written width or precision
// never wraps to a small or negative one.
int read_decimal(const char*& format) {
  uint32_t value = 0;
  for (; is_digit(*format); ++format) {
    const uint32_t digit = static_cast<uint32_t>(*format - '0');
    value = value > (INT32_MAX - digit) / 10 ? INT32_MAX : value * 10 + digit;
  }
  return static_cast<int>(value);
}

struct Spec {
  bool left = false;
  bool zero = false;
  bool plus = false;
  bool wide = false;  // 'll': the integer argument is 64 bits, two words, low first
  int width = 0;
  int precision = -1;  // negative: none given
};

void put_string(BufferSink& out, const Spec& spec, const char* text) {
  if (text == nullptr) text = "(null)";
  // Nothing past the precision is read: the text need not be terminated within it.
  const uint32_t most = spec.precision >= 0 ? static_cast<uint32_t>(spec.precision) : UINT32_MAX;
  uint32_t length = 0;
  while (length < most && text[length] != '\0') ++length;
  // A negative width can only come from '*'; like '-', it pads after the string.
  const bool left = spec.left || spec.width < 0;
  const uint32_t width = spec.width < 0 ? 0u - static_cast<uint32_t>(spec.width)
                                        : static_cast<uint32_t>(spec.width);
  const uint32_t fill = width > length ? width - length : 0;
  if (!left) out.repeat(' ', fill);
  out.put_run(text, length);
  if (left) out.repeat(' ', fill);
}

void put_integer(BufferSink& out, const Spec& spec, char conversion, va_list& args) {
  const bool is_signed = conversion == 'd' || conversion == 'i';
  const uint32_t base = conversion == 'x' || conversion == 'X' ? 16 : 10;
  const int upper = conversion == 'X';
  char sign = '\0';
  char digits[kSnbufMaxDigits];
  int count;
  if (spec.wide) {
    uint64_t value = va_arg(args, uint64_t);
    if (is_signed && static_cast<int64_t>(value) < 0) {
      sign = '-';
      value = 0 - value;
    }
    snbuf_render_unsigned64(digits, &count, value, base, upper);
  } else {
    uint32_t value = va_arg(args, uint32_t);
    if (is_signed && static_cast<int32_t>(value) < 0) {
      sign = '-';
      value = 0 - value;
    }
    snbuf_render_unsigned(digits, &count, value, base, upper);
  }
  if (is_signed && sign == '\0' && spec.plus) sign = '+';

  // Unsigned: a precision near INT32_MAX plus the sign and the digits passes INT32_MAX, and
  // a negative width from '*' pads nothing.
  const uint32_t digit_count = static_cast<uint32_t>(count);
  const uint32_t precision_zeros =
      spec.precision > count ? static_cast<uint32_t>(spec.precision) - digit_count : 0;
  const uint32_t field = (sign != '\0' ? 1u : 0u) + precision_zeros + digit_count;
  const uint32_t fill = spec.width > 0 && static_cast<uint32_t>(spec.width) > field
                            ? static_cast<uint32_t>(spec.width) - field
                            : 0;
  // '-' wins over '0', and a precision switches '0' off (so at most one of the two is not 0).
  const bool zero_fill = spec.zero && !spec.left && spec.precision < 0;
  if (!spec.left && !zero_fill) out.repeat(' ', fill);
  if (sign != '\0') out.put(sign);
  out.repeat('0', zero_fill ? fill : precision_zeros);
  out.put_run(digits, digit_count);
  if (spec.left) out.repeat(' ', fill);
}

// '0x' and lower-case hexadecimal; no flag, width or precision applies.
void put_pointer(BufferSink& out, uint32_t value) {
  char digits[kSnbufMaxDigits];
  int count;
  snbuf_render_unsigned(digits, &count, value, 16, 0);
  out.put('0');
  out.put('x');
  out.put_run(digits, static_cast<uint32_t>(count));
}

// Reads flags, width, precision and length after a '%', consuming the '*' arguments.
Spec read_spec(const char*& format, va_list& args) {
  Spec spec;
  for (;; ++format) {
    if (*format == '-') {
      spec.left = true;
    } else if (*format == '0') {
      spec.zero = true;
    } else if (*format == '+') {
      spec.plus = true;
    } else {
      break;
    }
  }
  if (*format == '*') {
    ++format;
    spec.width = va_arg(args, int);
  } else {
    spec.width = read_decimal(format);
  }
  if (*format == '.') {
    ++format;
    if (*format == '*') {
      ++format;
      spec.precision = va_arg(args, int);
    } else {
      spec.precision = read_decimal(format);
    }
    if (spec.precision < 0) spec.precision = -1;
  }
  // At most one length: 'l', 'll' or 'z'. Only 'll' changes the argument.
  if (*format == 'l') {
    ++format;
    if (*format == 'l') {
      ++format;
      spec.wide = true;
    }
  } else if (*format == 'z') {
    ++format;
  }
  return spec;
}

}  // namespace
}  // namespace vornos

using vornos::BufferSink;
using vornos::Spec;

extern "C" int vsnprintf(char* buffer, size_t size, const char* format, va_list list) {
  // Without a buffer nothing can be stored, whatever the size claims. A size beyond 32 bits
  // (on a wider host) is as good as the largest 32-bit one.
  if (size == 0) buffer = nullptr;
  const size_t storable = buffer != nullptr ? size - 1 : 0;
  const uint32_t limit = storable < UINT32_MAX ? static_cast<uint32_t>(storable) : UINT32_MAX - 1;
  BufferSink out{buffer, limit, 0};
  // A copy of the list, so that the helpers can take it by reference on every host.
  va_list args;
  va_copy(args, list);
  if (format != nullptr) {
    while (*format != '\0') {
      const char c = *format++;
      if (c != '%') {
        out.put(c);
        continue;
      }
      const Spec spec = vornos::read_spec(format, args);
      const char conversion = *format;
      if (conversion == '\0') break;  // the format ends in mid-conversion
      ++format;
      switch (conversion) {
        case '%':
          out.put('%');
          break;
        case 'c':
          out.put(static_cast<char>(va_arg(args, int)));
          break;
        case 's':
          vornos::put_string(out, spec, va_arg(args, const char*));
          break;
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
          vornos::put_integer(out, spec, conversion, args);
          break;
        case 'p':
          vornos::put_pointer(out, va_arg(args, uint32_t));
          break;
        default:  // echoed without what stood between; takes no argument
          out.put('%');
          out.put(conversion);
          break;
      }
    }
  }
  va_end(args);
  if (out.buffer != nullptr) out.buffer[out.position < out.limit ? out.position : out.limit] = '\0';
  return static_cast<int>(out.position);
}
