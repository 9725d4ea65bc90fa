// The model of strtold. Built at -O0 without contraction: every long double operation is
// one x87 instruction whose result is stored in the 80-bit format, so each step is rounded
// on its own exactly as in the guest.
#include "reference_strtold.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

namespace vornos::strtold_reference {
namespace {

static_assert(std::numeric_limits<long double>::digits == 64,
              "the model needs the x87 extended format as its long double");

// What the scanner found: the digits on both sides of the point and the written exponent.
struct Syntax {
  bool is_number = false;
  bool negative = false;
  bool hexadecimal = false;
  std::string integer_digits;
  std::string fraction_digits;
  std::int64_t exponent = 0;  // already limited to +-4096
  std::size_t end = 0;
};

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  char at(std::size_t offset = 0) const {
    return pos_ + offset < text_.size() ? text_[pos_ + offset] : '\0';
  }
  void skip(std::size_t n = 1) { pos_ += n; }
  std::size_t pos() const { return pos_; }
  void seek(std::size_t pos) { pos_ = pos; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

bool decimal(char c) { return c >= '0' && c <= '9'; }
bool hexadecimal(char c) { return decimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool blank(char c) { return std::string_view(" \t\n\v\f\r").find(c) != std::string_view::npos; }

std::string take_run(Cursor& cursor, bool (*accept)(char)) {
  std::string run;
  while (accept(cursor.at())) {
    run += cursor.at();
    cursor.skip();
  }
  return run;
}

// Marker, optional sign, at least one decimal digit; otherwise the cursor stays put.
void scan_exponent(Cursor& cursor, char marker, Syntax& syntax) {
  if (cursor.at() != marker && cursor.at() != marker - ('a' - 'A')) return;
  std::size_t offset = 1;
  const bool negative = cursor.at(1) == '-';
  if (cursor.at(1) == '-' || cursor.at(1) == '+') offset = 2;
  if (!decimal(cursor.at(offset))) return;
  cursor.skip(offset);
  const std::string digits = take_run(cursor, decimal);
  // Saturate well above the limit, then clamp: the same as clamping after every digit.
  std::int64_t magnitude = 0;
  for (char c : digits) magnitude = std::min<std::int64_t>(magnitude * 10 + (c - '0'), 1'000'000);
  magnitude = std::min<std::int64_t>(magnitude, 4096);
  syntax.exponent = negative ? -magnitude : magnitude;
}

Syntax scan(std::string_view text) {
  Syntax syntax;
  Cursor cursor(text);
  while (blank(cursor.at())) cursor.skip();
  if (cursor.at() == '+' || cursor.at() == '-') {
    syntax.negative = cursor.at() == '-';
    cursor.skip();
  }
  if (cursor.at() == '0' && (cursor.at(1) == 'x' || cursor.at(1) == 'X')) {
    syntax.hexadecimal = true;
    cursor.skip(2);
    syntax.integer_digits = take_run(cursor, hexadecimal);
    if (cursor.at() == '.') {
      cursor.skip();
      syntax.fraction_digits = take_run(cursor, hexadecimal);
    }
    if (syntax.integer_digits.empty() && syntax.fraction_digits.empty()) return Syntax{};
    scan_exponent(cursor, 'p', syntax);
  } else {
    if (decimal(cursor.at())) {
      syntax.integer_digits = take_run(cursor, decimal);
      if (cursor.at() == '.') {
        cursor.skip();
        syntax.fraction_digits = take_run(cursor, decimal);
      }
    } else if (cursor.at() == '.' && decimal(cursor.at(1))) {
      cursor.skip();
      syntax.fraction_digits = take_run(cursor, decimal);
    } else {
      return Syntax{};
    }
    scan_exponent(cursor, 'e', syntax);
  }
  syntax.is_number = true;
  syntax.end = cursor.pos();
  return syntax;
}

int digit_value(char c) {
  if (decimal(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// The arithmetic: accumulate every digit (radix multiply, then digit add), scale down once
// per fraction digit up to 1024, then apply the exponent one step at a time up to 1024 steps.
long double evaluate(const Syntax& syntax) {
  const long double radix = syntax.hexadecimal ? 16.0L : 10.0L;
  long double acc = 0.0L;
  for (char c : syntax.integer_digits + syntax.fraction_digits) {
    acc = acc * radix;
    acc = acc + static_cast<long double>(digit_value(c));
  }
  const std::size_t fraction_steps = std::min<std::size_t>(syntax.fraction_digits.size(), 1024);
  for (std::size_t i = 0; i < fraction_steps; ++i) {
    if (syntax.hexadecimal) {
      acc = acc * 0.0625L;
    } else {
      acc = acc / 10.0L;
    }
  }
  const std::int64_t exponent_steps =
      std::min<std::int64_t>(syntax.exponent < 0 ? -syntax.exponent : syntax.exponent, 1024);
  for (std::int64_t i = 0; i < exponent_steps; ++i) {
    if (syntax.hexadecimal) {
      acc = syntax.exponent > 0 ? acc + acc : acc * 0.5L;
    } else {
      acc = syntax.exponent > 0 ? acc * 10.0L : acc / 10.0L;
    }
  }
  const long double sign = syntax.negative ? -1.0L : 1.0L;
  return acc * sign;
}

}  // namespace

Result parse(std::string_view text) {
  const Syntax syntax = scan(text);
  if (!syntax.is_number) return {0.0L, 0};
  return {evaluate(syntax), syntax.end};
}

}  // namespace vornos::strtold_reference
