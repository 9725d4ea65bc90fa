// strtold: decimal or hexadecimal floating-point text to x87 extended precision.
//
// The result is defined as the outcome of one fixed sequence of extended-precision
// operations, each rounded on its own: multiply the accumulator by the radix and add each
// digit, then scale one step at a time. It is deliberately not the correctly rounded value of
// the text, so every operation below is its own statement (the build never contracts them)
// and no step may be merged, reordered or replaced by a power computed ahead.
#include <stdint.h>
#include <stdlib.h>

namespace {

// No scaling loop runs more often than this; it also caps the count of fraction digits.
constexpr int32_t kMaxScalingSteps = 1024;
// A written exponent's magnitude stops growing here while its digits are read.
constexpr int32_t kMaxExponentMagnitude = 4096;

// This parser's own set: the integer parsers' four plus vertical tab and form feed.
bool is_float_blank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool is_decimal_digit(unsigned char c) { return c >= '0' && c <= '9'; }

int hex_digit_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int32_t capped(int32_t value, int32_t cap) { return value < cap ? value : cap; }

// A written exponent after its marker: an optional sign, then at least one decimal digit.
// Without a digit nothing is taken and the position stays at the marker.
struct Exponent {
  bool present;
  int32_t value;  // magnitude capped at kMaxExponentMagnitude, with its sign
};

Exponent read_exponent(const unsigned char*& p, char lower_marker) {
  if ((*p | 0x20) != lower_marker) return {false, 0};
  const unsigned char* q = p + 1;
  const bool negative = *q == '-';
  if (*q == '+' || *q == '-') ++q;
  if (!is_decimal_digit(*q)) return {false, 0};
  int32_t magnitude = 0;
  for (; is_decimal_digit(*q); ++q)
    magnitude = capped(magnitude * 10 + (*q - '0'), kMaxExponentMagnitude);
  p = q;
  return {true, negative ? -magnitude : magnitude};
}

// Hexadecimal significand and binary exponent, from just past the prefix. Returns false when
// neither side of the point holds a digit.
bool convert_hexadecimal(const unsigned char*& p, long double& acc) {
  acc = 0.0L;
  bool any_digit = false;
  for (int digit = hex_digit_value(*p); digit >= 0; digit = hex_digit_value(*++p)) {
    acc = acc * 16.0L;
    acc = acc + static_cast<long double>(digit);
    any_digit = true;
  }
  if (*p == '.') {
    ++p;
    int32_t fraction_digits = 0;
    for (int digit = hex_digit_value(*p); digit >= 0; digit = hex_digit_value(*++p)) {
      acc = acc * 16.0L;
      acc = acc + static_cast<long double>(digit);
      fraction_digits = capped(fraction_digits + 1, kMaxScalingSteps);
      any_digit = true;
    }
    for (int32_t i = 0; i < fraction_digits; ++i) acc = acc * 0.0625L;
  }
  if (!any_digit) return false;

  const Exponent exponent = read_exponent(p, 'p');
  if (exponent.present) {
    if (exponent.value > 0) {
      const int32_t steps = capped(exponent.value, kMaxScalingSteps);
      for (int32_t i = 0; i < steps; ++i) acc = acc + acc;
    } else {
      const int32_t steps = capped(-exponent.value, kMaxScalingSteps);
      for (int32_t i = 0; i < steps; ++i) acc = acc * 0.5L;
    }
  }
  return true;
}

// Every fraction digit enters the accumulator, also past the cap; only the scaling is capped.
// Scaling down is repeated division by 10, never multiplication by an inexact 0.1.
void convert_decimal_fraction(const unsigned char*& p, long double& acc) {
  int32_t fraction_digits = 0;
  for (; is_decimal_digit(*p); ++p) {
    acc = acc * 10.0L;
    acc = acc + static_cast<long double>(*p - '0');
    fraction_digits = capped(fraction_digits + 1, kMaxScalingSteps);
  }
  for (int32_t i = 0; i < fraction_digits; ++i) acc = acc / 10.0L;
}

// Decimal significand and exponent. Returns false when the text holds no decimal number.
bool convert_decimal(const unsigned char*& p, long double& acc) {
  if (is_decimal_digit(*p)) {
    acc = 0.0L;
    for (; is_decimal_digit(*p); ++p) {
      acc = acc * 10.0L;
      acc = acc + static_cast<long double>(*p - '0');
    }
    if (*p == '.') {
      ++p;  // taken also when no digit follows: "1." ends past the point
      convert_decimal_fraction(p, acc);
    }
  } else if (*p == '.' && is_decimal_digit(p[1])) {
    ++p;
    acc = 0.0L;
    convert_decimal_fraction(p, acc);
  } else {
    return false;
  }

  const Exponent exponent = read_exponent(p, 'e');
  if (exponent.present) {
    if (exponent.value > 0) {
      const int32_t steps = capped(exponent.value, kMaxScalingSteps);
      for (int32_t i = 0; i < steps; ++i) acc = acc * 10.0L;
    } else {
      const int32_t steps = capped(-exponent.value, kMaxScalingSteps);
      for (int32_t i = 0; i < steps; ++i) acc = acc / 10.0L;
    }
  }
  return true;
}

}  // namespace

extern "C" long double strtold(const char* s, char** end) {
  if (s == nullptr) {
    if (end != nullptr) *end = nullptr;
    return 0.0L;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  while (is_float_blank(*p)) ++p;
  int32_t sign = 1;
  if (*p == '+') {
    ++p;
  } else if (*p == '-') {
    ++p;
    sign = -1;
  }

  long double acc = 0.0L;
  bool converted;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    // "0x" commits to the hexadecimal form: without a digit after it there is no number.
    p += 2;
    converted = convert_hexadecimal(p, acc);
  } else {
    converted = convert_decimal(p, acc);
  }
  if (!converted) {
    // No number: the end is the text as passed, before any whitespace and sign.
    if (end != nullptr) *end = const_cast<char*>(s);
    return 0.0L;
  }
  if (end != nullptr) *end = const_cast<char*>(reinterpret_cast<const char*>(p));
  // Applied last, by one multiplication, so "-0" gives negative zero.
  return acc * static_cast<long double>(sign);
}
