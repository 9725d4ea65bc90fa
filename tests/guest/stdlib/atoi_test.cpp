// atoi, atol, abs and labs: their whitespace set, the single sign, wrap-around.
#include <errno.h>
#include <stdlib.h>

#include "kernel_control.h"
#include "vtest.h"

namespace {

struct Case {
  const char* text;
  int value;
};

const Case kCases[] = {
    {"42", 42},
    {" \t\n-12x", -12},
    {"+7", 7},
    {"-0", 0},
    {"007", 7},
    {"12 34", 12},
    {"1e5", 1},
    // Carriage return, vertical tab and form feed are not skipped here.
    {"\r5", 0},
    {"\v5", 0},
    {"\f5", 0},
    {"\2405", 0},  // byte 0xA0, then 5
    // One sign, directly followed by a digit.
    {"+-5", 0},
    {"-+5", 0},
    {"--5", 0},
    {"- 5", 0},
    {"-", 0},
    {"+", 0},
    {"", 0},
    {"   ", 0},
    {"x5", 0},
    // No base prefix.
    {"0x10", 0},
    {"010", 10},
    // Wrap-around modulo 2^32.
    {"2147483647", 2147483647},
    {"2147483648", -2147483647 - 1},
    {"-2147483648", -2147483647 - 1},
    {"-2147483649", 2147483647},
    {"4294967295", -1},
    {"4294967297", 1},
    {"-4294967297", -1},
    {"99999999999", 1215752191},
};

}  // namespace

TEST(Atoi, TableOfTexts) {
  for (const Case& c : kCases) {
    const int value = atoi(c.text);
    if (value != c.value) vtest::name_case("atoi", c.text);
    EXPECT_EQ(value, c.value);
  }
}

TEST(Atol, SameOperationAsAtoi) {
  for (const Case& c : kCases) {
    const long value = atol(c.text);
    if (value != c.value) vtest::name_case("atol", c.text);
    EXPECT_EQ(value, static_cast<long>(c.value));
  }
}

TEST(Atoi, NullTextGivesZero) {
  EXPECT_EQ(atoi(nullptr), 0);
  EXPECT_EQ(atol(nullptr), 0L);
}

TEST(Atoi, TouchesNeitherErrnoNorTheKernel) {
  errno = 0;
  vtest::CallRecorder calls;
  EXPECT_EQ(atoi("99999999999"), 1215752191);
  EXPECT_EQ(atol("-x"), 0L);
  EXPECT_EQ(calls.stop(), 0);
  EXPECT_EQ(errno, 0);
}

TEST(Abs, MagnitudeAndTheMostNegativeValue) {
  EXPECT_EQ(abs(0), 0);
  EXPECT_EQ(abs(5), 5);
  EXPECT_EQ(abs(-5), 5);
  EXPECT_EQ(abs(2147483647), 2147483647);
  EXPECT_EQ(abs(-2147483647), 2147483647);
  EXPECT_EQ(abs(-2147483647 - 1), -2147483647 - 1);
  EXPECT_EQ(labs(-7L), 7L);
  EXPECT_EQ(labs(7L), 7L);
  EXPECT_EQ(labs(0L), 0L);
  EXPECT_EQ(labs(-2147483647L - 1), -2147483647L - 1);
}
