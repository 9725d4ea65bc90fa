// strtoul and strtol: whitespace set, base and prefix rules, wrap-around, and the end
// position of every parse.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>

#include "kernel_control.h"
#include "vtest.h"

namespace {

struct Case {
  const char* text;
  int base;
  unsigned long value;
  int end;  // offset of the stored end position from the start of the text
};

// Every case is run through both names; strtol must return the same bits, signed.
const Case kCases[] = {
    // Decimal, stopping at the first character whose value is not below the base.
    {"  42abc", 10, 42, 4},
    {"123", 10, 123, 3},
    {"0", 10, 0, 1},
    {"007", 10, 7, 3},
    {"12 34", 10, 12, 2},
    {"9a", 10, 9, 1},
    // Detected base: 0x for 16, a leading 0 for 8 (the 0 itself is stepped over).
    {"0x1F", 0, 31, 4},
    {"0X1f", 0, 31, 4},
    {"0x", 0, 0, 2},
    {"0xg", 0, 0, 2},
    {"017", 0, 15, 3},
    {"08", 0, 0, 1},
    {"0", 0, 0, 1},
    {"00", 0, 0, 2},
    {"0778", 0, 63, 3},
    {"19", 0, 19, 2},
    {"x1", 0, 0, 0},
    {"  0x10", 0, 16, 6},
    // Base 16: the prefix is optional; a 0x with no digit after it still counts as taken.
    {"0x1F", 16, 31, 4},
    {"1F", 16, 31, 2},
    {"0xg", 16, 0, 2},
    {"ffffffff", 16, 0xFFFFFFFFul, 8},
    {"DeadBeefz", 16, 0xDEADBEEFul, 8},
    // Other bases take no prefix at all.
    {"0x1F", 10, 0, 1},
    {"0x1F", 8, 0, 1},
    {"0x1F", 36, 0, 1},
    {"777", 8, 511, 3},
    {"1012", 2, 5, 3},
    // Above 16 only the digits of base 16 exist: nothing after 'f' is ever a digit.
    {"zz", 36, 0, 0},
    {"fg", 36, 15, 1},
    {"10", 17, 17, 2},
    {"10", 36, 36, 2},
    // Base 1 takes only '0'; a negative base takes nothing.
    {"111", 1, 0, 0},
    {"000", 1, 0, 3},
    {"5", -1, 0, 0},
    {"  5", -10, 0, 2},
    // No sign is recognised.
    {"-5", 10, 0, 0},
    {"+5", 10, 0, 0},
    {" -5", 0, 0, 1},
    // Wrap-around modulo 2^32, never clamped.
    {"4294967295", 10, 4294967295ul, 10},
    {"4294967296", 10, 0, 10},
    {"4294967297", 10, 1, 10},
    {"99999999999", 10, 1215752191ul, 11},
    {"100000000", 16, 0, 9},
    {"123456789abcdef", 16, 0x89ABCDEFul, 15},
    // Whitespace: tab, newline, carriage return and space only.
    {"\t\n\r 7", 10, 7, 5},
    {"\r5", 10, 5, 2},
    {"\v5", 10, 0, 0},
    {"\f5", 10, 0, 0},
    {" \v5", 10, 0, 1},
    {"   ", 10, 0, 3},
    {"", 10, 0, 0},
    {"\2405", 10, 0, 0},  // byte 0xA0, then 5
    {"5\xff", 16, 5, 1},
};

}  // namespace

TEST(Strtoul, ValueAndEndPositionOfEveryCase) {
  for (const Case& c : kCases) {
    char* end = reinterpret_cast<char*>(0x1);
    const unsigned long value = strtoul(c.text, &end, c.base);
    if (value != c.value || end != c.text + c.end) vtest::name_case("strtoul", c.text);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(end - c.text, c.end);
  }
}

TEST(Strtol, SameScanAndSameBitsAsSigned) {
  for (const Case& c : kCases) {
    char* end = reinterpret_cast<char*>(0x1);
    const long value = strtol(c.text, &end, c.base);
    if (static_cast<unsigned long>(value) != c.value || end != c.text + c.end) {
      vtest::name_case("strtol", c.text);
    }
    EXPECT_EQ(value, static_cast<long>(c.value));
    EXPECT_EQ(end - c.text, c.end);
  }
  EXPECT_EQ(strtol("4294967295", nullptr, 10), -1L);
  EXPECT_EQ(strtol("2147483648", nullptr, 10), -2147483647L - 1);
  EXPECT_EQ(strtol("80000001", nullptr, 16), -2147483647L);
}

TEST(Strtoul, NullTextStoresNullEnd) {
  char* end = reinterpret_cast<char*>(0x1);
  EXPECT_EQ(strtoul(nullptr, &end, 10), 0ul);
  EXPECT_EQ(end, static_cast<char*>(nullptr));
  end = reinterpret_cast<char*>(0x1);
  EXPECT_EQ(strtol(nullptr, &end, 0), 0L);
  EXPECT_EQ(end, static_cast<char*>(nullptr));
  EXPECT_EQ(strtoul(nullptr, nullptr, 10), 0ul);
  EXPECT_EQ(strtol(nullptr, nullptr, 10), 0L);
}

TEST(Strtoul, NullEndIsAllowedOnEveryPath) {
  EXPECT_EQ(strtoul("  0x1F", nullptr, 0), 31ul);
  EXPECT_EQ(strtoul("zz", nullptr, 10), 0ul);
  EXPECT_EQ(strtol("017", nullptr, 0), 15L);
}

TEST(Strtoul, StopsAtTheTerminatorAndReadsNoFurther) {
  // The text ends inside a larger buffer whose next bytes would be digits.
  const char buffer[] = {'1', '2', '\0', '3', '4'};
  char* end = nullptr;
  EXPECT_EQ(strtoul(buffer, &end, 10), 12ul);
  EXPECT_EQ(end, buffer + 2);
  const char prefix_only[] = {'0', '\0', 'x', '1'};
  EXPECT_EQ(strtoul(prefix_only, &end, 0), 0ul);
  EXPECT_EQ(end, prefix_only + 1);
}

TEST(Strtoul, TouchesNeitherErrnoNorTheKernel) {
  errno = 0;
  vtest::CallRecorder calls;
  EXPECT_EQ(strtoul("99999999999999999999", nullptr, 10), 1661992959ul);
  EXPECT_EQ(strtol("-1", nullptr, 10), 0L);
  EXPECT_EQ(calls.stop(), 0);
  EXPECT_EQ(errno, 0);
}
