// strcmp, strncmp, strcasecmp and strncasecmp: their pointer rules and their exact results.
#include <stdint.h>
#include <string.h>

#include "vtest.h"

namespace {

// Pointers into the lowest page; they must never be read (reading one would fault).
const char* low(uintptr_t address) { return reinterpret_cast<const char*>(address); }

// Above the lowest page but mapped in no program of the system: reading it would fault, so
// a result here shows that the rule was decided without reading.
const char* unmapped(uintptr_t address) { return reinterpret_cast<const char*>(address); }

struct Comparison {
  const char* a;
  const char* b;
  size_t n;
  int expected;
};

}  // namespace

TEST(Strcmp, PointerRulesComeFirst) {
  const char* const text = "same";
  const Comparison cases[] = {
      {nullptr, nullptr, 0, 0},
      {low(16), low(16), 0, 0},  // the same pointer, never read
      {text, text, 0, 0},
      {nullptr, "a", 0, -1},
      {"a", nullptr, 0, 1},
      {low(16), "a", 0, -1},
      {"a", low(4095), 0, 1},
      {low(16), low(32), 0, -1},  // the first operand is tested first
      {nullptr, low(8), 0, -1},
      {unmapped(0x1000), unmapped(0x1000), 0, 0},
      {low(4095), unmapped(0x1000), 0, -1},
      {unmapped(0x1000), nullptr, 0, 1},
  };
  for (const Comparison& c : cases) EXPECT_EQ(strcmp(c.a, c.b), c.expected);
}

TEST(Strcmp, ResultIsDifferenceOfFirstUnequalBytes) {
  const Comparison cases[] = {
      {"a", "b", 0, -1},
      {"b", "a", 0, 1},
      {"abc", "abc", 0, 0},
      {"", "", 0, 0},
      {"ab", "abc", 0, -99},  // the shorter string compares with its 0 byte
      {"abc", "ab", 0, 99},
      {"\xff", "a", 0, 158},  // bytes are unsigned
      {"a", "\xff", 0, -158},
      {"\x80", "\x7f", 0, 1},
      {"", "\xff", 0, -255},
      {"Abc", "abc", 0, -32},
  };
  for (const Comparison& c : cases) EXPECT_EQ(strcmp(c.a, c.b), c.expected);
}

TEST(Strncmp, LimitAndPointerRules) {
  const Comparison cases[] = {
      {low(8), low(16), 0, 0},  // a zero limit reads nothing and tests nothing
      {nullptr, "a", 0, 0},
      {"abc", "abd", 2, 0},
      {"abc", "abd", 3, -1},
      {"abc", "abd", 100, -1},
      {"ab\0x", "ab\0y", 4, 0},  // nothing is compared past a terminator
      {"ab", "abc", 3, -99},
      {"\xff", "a", 1, 158},
      {nullptr, nullptr, 5, 0},
      {low(16), low(16), 5, 0},
      {nullptr, "a", 1, -1},
      {"a", nullptr, 1, 1},
      {low(100), "a", 1, -1},
      {"a", low(100), 1, 1},
      {unmapped(0x1000), unmapped(0x2000), 0, 0},
      {unmapped(0x1000), unmapped(0x1000), 9, 0},
  };
  for (const Comparison& c : cases) EXPECT_EQ(strncmp(c.a, c.b, c.n), c.expected);
}

TEST(Strcasecmp, FoldsOnlyCapitalLetters) {
  const Comparison cases[] = {
      {"Hello", "hELLO", 0, 0},
      {"a", "B", 0, -1},
      {"B", "a", 0, 1},
      {"[", "a", 0, -6},   // 0x5B is no letter; 'A'..'Z' fold down to 0x61..0x7A
      {"Z", "a", 0, 25},
      {"@", "`", 0, -32},  // the neighbours of the capitals stay as they are
      {"\xc9", "\xe9", 0, -32},  // bytes above 0x7F do not fold
      {"ab", "ABC", 0, -99},
      {"ABC", "ab", 0, 99},
      {"", "", 0, 0},
      {nullptr, nullptr, 0, 0},
      {nullptr, "x", 0, -1},
      {"x", nullptr, 0, 1},
  };
  for (const Comparison& c : cases) EXPECT_EQ(strcasecmp(c.a, c.b), c.expected);
}

TEST(Strncasecmp, LimitAndNullRules) {
  const char* const text = "Text";
  const Comparison cases[] = {
      {"ABc", "abD", 2, 0},
      {"ABc", "abD", 3, -1},
      {"ABc", "abD", 0, 0},
      {nullptr, "x", 0, 0},  // a zero limit wins over the null rules
      {nullptr, nullptr, 3, 0},
      {text, text, 3, 0},
      {nullptr, "x", 3, -1},
      {"x", nullptr, 3, 1},
      {"HELLO", "help", 3, 0},
      {"HELLO", "help", 4, 'l' - 'p'},
      {"ab\0X", "AB\0y", 4, 0},
      {"ab", "ABC", 5, -99},
      {unmapped(0x1000), unmapped(0x2000), 0, 0},
      {unmapped(0x1000), unmapped(0x1000), 9, 0},
  };
  for (const Comparison& c : cases) EXPECT_EQ(strncasecmp(c.a, c.b, c.n), c.expected);
}
