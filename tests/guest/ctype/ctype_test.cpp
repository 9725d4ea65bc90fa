// The character classes and case of the "C" locale: every value from EOF to 255 against each
// class's members as the C standard defines them over ASCII (nothing from 128 up belongs).
#include <ctype.h>
#include <stdio.h>

#include "vtest.h"

namespace {

struct Range { int first = 1, last = 0; };  // empty unless given
struct Class { const char* name; int (*is)(int); Range members[4]; } const kClasses[] = {
    {"isalnum", isalnum, {{'0', '9'}, {'A', 'Z'}, {'a', 'z'}}},
    {"isalpha", isalpha, {{'A', 'Z'}, {'a', 'z'}}},
    {"isblank", isblank, {{'\t', '\t'}, {' ', ' '}}},
    {"iscntrl", iscntrl, {{0x00, 0x1f}, {0x7f, 0x7f}}},
    {"isdigit", isdigit, {{'0', '9'}}},
    {"isgraph", isgraph, {{'!', '~'}}},
    {"islower", islower, {{'a', 'z'}}},
    {"isprint", isprint, {{' ', '~'}}},
    {"ispunct", ispunct, {{'!', '/'}, {':', '@'}, {'[', '`'}, {'{', '~'}}},
    {"isspace", isspace, {{'\t', '\r'}, {' ', ' '}}},  // tab, newline, vertical tab, form feed, return
    {"isupper", isupper, {{'A', 'Z'}}},
    {"isxdigit", isxdigit, {{'0', '9'}, {'A', 'F'}, {'a', 'f'}}},
};

bool member(const Class& c, int value) {
  for (const Range& r : c.members)
    if (value >= r.first && value <= r.last) return true;
  return false;
}

}  // namespace

TEST(Ctype, EachClassHoldsExactlyTheStandardsMembers) {
  for (const Class& c : kClasses) {
    vtest::name_case(c.name, "EOF to 255");
    int first_wrong = -2;  // none
    for (int value = EOF; value < 256 && first_wrong == -2; ++value)
      if ((c.is(value) != 0) != member(c, value)) first_wrong = value;
    EXPECT_EQ(first_wrong, -2);
  }
}

TEST(Ctype, OnlyTheAsciiLettersChangeCase) {
  int changed_by_tolower = 0, changed_by_toupper = 0;
  for (int c = -1; c < 256; ++c) {
    const int lower = tolower(c), upper = toupper(c);
    if (lower != c) {
      ++changed_by_tolower;
      EXPECT_TRUE(c >= 'A' && c <= 'Z' && lower == c + 32);
    }
    if (upper != c) {
      ++changed_by_toupper;
      EXPECT_TRUE(c >= 'a' && c <= 'z' && upper == c - 32);
    }
  }
  EXPECT_EQ(changed_by_tolower, 26);
  EXPECT_EQ(changed_by_toupper, 26);
}
