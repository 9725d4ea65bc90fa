// strtold and strtod: the accepted forms, end positions, signed zeros, the caps on scaling,
// and results that come from the fixed rounding sequence rather than from correct rounding.
// The bit-for-bit comparison over a large corpus lives in tests/host/strtold.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "kernel_control.h"
#include "vtest.h"

namespace {

// The x87 extended format as stored: 64-bit significand, then sign and 15-bit exponent.
struct Extended {
  uint64_t significand;
  uint16_t sign_exponent;
};

Extended bits_of(long double value) {
  Extended bits;
  memcpy(&bits.significand, &value, 8);
  memcpy(&bits.sign_exponent, reinterpret_cast<const char*>(&value) + 8, 2);
  return bits;
}

uint64_t bits_of(double value) {
  uint64_t bits;
  memcpy(&bits, &value, 8);
  return bits;
}

struct Case {
  const char* text;
  long double value;  // exact in the extended format
  int end;            // offset of the end position; 0 when the text holds no number
};

const Case kCases[] = {
    {"1.5", 1.5L, 3},
    {"-.5e1", -5.0L, 5},
    {"1.", 1.0L, 2},
    {"1.e2", 100.0L, 4},
    {"  -0x1.8p1", -3.0L, 10},
    {"0x.8", 0.5L, 4},
    {"0x1p-2", 0.25L, 6},
    {"0X10", 16.0L, 4},
    {"0x1e", 30.0L, 4},
    {"0x1E", 30.0L, 4},
    {"0xA.8P+1", 21.0L, 8},
    {"12abc", 12.0L, 2},
    {"+2.25", 2.25L, 5},
    {"1E3", 1000.0L, 3},
    {"25e-2", 0.25L, 5},
    {"0e99999", 0.0L, 7},
    // An exponent marker without a digit is not taken.
    {"1e", 1.0L, 1},
    {"1e+", 1.0L, 1},
    {"1ex", 1.0L, 1},
    {"1e-x", 1.0L, 1},
    {"0x1p", 1.0L, 3},
    {"0x1p+", 1.0L, 3},
    {"1p3", 1.0L, 1},
    {"0x1e+3", 30.0L, 4},
    {"1.5e3.5", 1500.0L, 5},
    // The whitespace set includes vertical tab and form feed.
    {"\v\f\r\n\t 4", 4.0L, 7},
    // No number: positive zero and the end at the text itself.
    {"0x", 0.0L, 0},
    {"0xg", 0.0L, 0},
    {"0x.", 0.0L, 0},
    {"0x.p1", 0.0L, 0},
    {"   0x", 0.0L, 0},
    {"-0x", 0.0L, 0},
    {".", 0.0L, 0},
    {"+", 0.0L, 0},
    {"-x", 0.0L, 0},
    {"- 5", 0.0L, 0},
    {"+-5", 0.0L, 0},
    {"  .e1", 0.0L, 0},
    {"inf", 0.0L, 0},
    {"nan", 0.0L, 0},
    {"", 0.0L, 0},
    {"\2401", 0.0L, 0},  // byte 0xA0, then 1
};

}  // namespace

TEST(Strtold, ValueAndEndPositionOfEveryCase) {
  for (const Case& c : kCases) {
    char* end = reinterpret_cast<char*>(0x1);
    const long double value = strtold(c.text, &end);
    const Extended got = bits_of(value);
    const Extended want = bits_of(c.value);
    if (got.significand != want.significand || got.sign_exponent != want.sign_exponent ||
        end != c.text + c.end) {
      vtest::name_case("strtold", c.text);
    }
    EXPECT_EQ(got.significand, want.significand);
    EXPECT_EQ(got.sign_exponent, want.sign_exponent);
    EXPECT_EQ(end - c.text, c.end);
  }
}

TEST(Strtold, SignAppliedLastGivesNegativeZero) {
  EXPECT_EQ(bits_of(strtold("-0", nullptr)).sign_exponent, 0x8000u);
  EXPECT_EQ(bits_of(strtold("-0", nullptr)).significand, 0u);
  EXPECT_EQ(bits_of(strtold("-0x0p0", nullptr)).sign_exponent, 0x8000u);
  EXPECT_EQ(bits_of(strtold("-0.000", nullptr)).sign_exponent, 0x8000u);
  EXPECT_EQ(bits_of(strtold("0", nullptr)).sign_exponent, 0u);
  // Text without a number is positive zero even after a minus sign.
  EXPECT_EQ(bits_of(strtold("-", nullptr)).sign_exponent, 0u);
  EXPECT_EQ(bits_of(strtold("-0x", nullptr)).sign_exponent, 0u);
  EXPECT_EQ(bits_of(strtod("-0", nullptr)), 0x8000000000000000ull);
}

// Each multiply, add and divide rounds on its own, so these land one or a few units in the
// last place away from the nearest extended value of the text.
TEST(Strtold, ResultsOfTheRoundingSequence) {
  Extended bits = bits_of(strtold("123.456", nullptr));
  EXPECT_EQ(bits.sign_exponent, 0x4005u);
  EXPECT_EQ(bits.significand, 0xf6e978d4fdf3b645ull);  // nearest would end in ...b646
  bits = bits_of(strtold("3.14159265358979323846", nullptr));
  EXPECT_EQ(bits.sign_exponent, 0x4000u);
  EXPECT_EQ(bits.significand, 0xc90fdaa22168c233ull);  // nearest would end in ...c235
  bits = bits_of(strtold("1e1024", nullptr));
  EXPECT_EQ(bits.sign_exponent, 0x4d48u);
  EXPECT_EQ(bits.significand, 0xc976758681750c15ull);
  bits = bits_of(strtold("1e-1024", nullptr));
  EXPECT_EQ(bits.sign_exponent, 0x32b5u);
  EXPECT_EQ(bits.significand, 0xa2a682a5da57c0c9ull);
  // One division by ten is itself correctly rounded.
  bits = bits_of(strtold("0.1", nullptr));
  EXPECT_EQ(bits.sign_exponent, 0x3ffbu);
  EXPECT_EQ(bits.significand, 0xcccccccccccccccdull);
}

TEST(Strtold, ScalingStopsAt1024Steps) {
  const Extended e1024 = bits_of(strtold("1e1024", nullptr));
  const char* const beyond[] = {"1e1025", "1e4096", "1e5000", "1e99999999999999999999"};
  for (const char* text : beyond) {
    const Extended bits = bits_of(strtold(text, nullptr));
    EXPECT_EQ(bits.significand, e1024.significand);
    EXPECT_EQ(bits.sign_exponent, e1024.sign_exponent);
  }
  const Extended down = bits_of(strtold("1e-1024", nullptr));
  const Extended capped = bits_of(strtold("1e-5000", nullptr));
  EXPECT_EQ(capped.significand, down.significand);
  EXPECT_EQ(capped.sign_exponent, down.sign_exponent);
  // Binary exponents: 2^1024 and 2^-1024 exactly.
  EXPECT_EQ(bits_of(strtold("0x1p5000", nullptr)).sign_exponent, 0x3fffu + 1024);
  EXPECT_EQ(bits_of(strtold("0x1p-5000", nullptr)).sign_exponent, 0x3fffu - 1024);
  EXPECT_EQ(bits_of(strtold("0x1p-5000", nullptr)).significand, 0x8000000000000000ull);
}

TEST(Strtold, FractionDigitsPastTheCapStillEnterTheValue) {
  // "0.000...01" with the 1 at place 1025 is written 10^-1025, but its accumulator (1) is
  // divided by 10 only 1024 times: the same steps, and so the same bits, as "1e-1024".
  static char text[2 + 1025 + 1];
  text[0] = '0';
  text[1] = '.';
  memset(text + 2, '0', 1024);
  text[2 + 1024] = '1';
  text[2 + 1025] = '\0';
  char* end = nullptr;
  const Extended bits = bits_of(strtold(text, &end));
  EXPECT_EQ(end, text + 2 + 1025);
  const Extended e1024 = bits_of(strtold("1e-1024", nullptr));
  EXPECT_EQ(bits.significand, e1024.significand);
  EXPECT_EQ(bits.sign_exponent, e1024.sign_exponent);
  // A hexadecimal fraction of 1025 digits is scaled by 16^-1024 only: 0x0.00...01 is 2^-4096.
  static char hex[4 + 1025 + 1];
  memcpy(hex, "0x0.", 4);
  memset(hex + 4, '0', 1024);
  hex[4 + 1024] = '1';
  hex[4 + 1025] = '\0';
  const Extended hex_bits = bits_of(strtold(hex, &end));
  EXPECT_EQ(end, hex + 4 + 1025);
  EXPECT_EQ(hex_bits.significand, 0x8000000000000000ull);
  EXPECT_EQ(hex_bits.sign_exponent, 0x3fffu - 4096);
}

TEST(Strtold, LongIntegerPartsOverflowToInfinity) {
  static char text[5001];
  memset(text, '9', 5000);
  text[5000] = '\0';
  char* end = nullptr;
  const Extended bits = bits_of(strtold(text, &end));
  EXPECT_EQ(end, text + 5000);
  EXPECT_EQ(bits.sign_exponent, 0x7fffu);
  EXPECT_EQ(bits.significand, 0x8000000000000000ull);
}

TEST(Strtod, RoundsToDoubleAndKeepsTheEnd) {
  char* end = nullptr;
  const char* text = "1.5xyz";
  EXPECT_EQ(bits_of(strtod(text, &end)), 0x3ff8000000000000ull);
  EXPECT_EQ(end, text + 3);
  EXPECT_EQ(bits_of(strtod("0.1", nullptr)), 0x3fb999999999999aull);
  EXPECT_EQ(bits_of(strtod("1e5000", nullptr)), 0x7ff0000000000000ull);
  EXPECT_EQ(bits_of(strtod("-1e5000", nullptr)), 0xfff0000000000000ull);
  EXPECT_EQ(bits_of(strtod("1e-5000", nullptr)), 0u);
  text = "   0x";
  end = nullptr;
  EXPECT_EQ(bits_of(strtod(text, &end)), 0u);
  EXPECT_EQ(end, text);
}

TEST(Strtold, NullTextAndNullEnd) {
  char* end = reinterpret_cast<char*>(0x1);
  EXPECT_EQ(bits_of(strtold(nullptr, &end)).sign_exponent, 0u);
  EXPECT_EQ(end, static_cast<char*>(nullptr));
  end = reinterpret_cast<char*>(0x1);
  EXPECT_EQ(bits_of(strtod(nullptr, &end)), 0u);
  EXPECT_EQ(end, static_cast<char*>(nullptr));
  // With a null end nothing is stored on any path.
  EXPECT_EQ(bits_of(strtold(nullptr, nullptr)).significand, 0u);
  EXPECT_EQ(bits_of(strtold("x", nullptr)).significand, 0u);
  EXPECT_EQ(bits_of(strtold("2", nullptr)).sign_exponent, 0x4000u);
}

TEST(Strtold, TouchesNeitherErrnoNorTheKernel) {
  errno = 0;
  vtest::CallRecorder calls;
  strtold("1e5000", nullptr);
  strtod("-1e5000", nullptr);
  strtold("junk", nullptr);
  EXPECT_EQ(calls.stop(), 0);
  EXPECT_EQ(errno, 0);
}
