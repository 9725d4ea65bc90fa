// The character classes and case of the "C" locale: each class's members counted over ASCII
// by the standard's definition, sample characters of every kind, and nothing from 128 up.
#include <ctype.h>
#include <stdio.h>

#include "vtest.h"

namespace {

using Classifier = int (*)(int);

// How many of the 128 ASCII values each class holds, by the C standard's definitions.
struct ClassSize { const char* name; Classifier is; int members; } const kClassSizes[] = {
    {"isalnum", isalnum, 62}, {"isalpha", isalpha, 52}, {"isblank", isblank, 2},
    {"iscntrl", iscntrl, 33}, {"isdigit", isdigit, 10}, {"isgraph", isgraph, 94},
    {"islower", islower, 26}, {"isprint", isprint, 95}, {"ispunct", ispunct, 32},
    {"isspace", isspace, 6},  {"isupper", isupper, 26}, {"isxdigit", isxdigit, 22},
};

// The classes of single characters, in the order of kClassSizes (1: member).
struct Sample { int c; bool alnum, alpha, blank, cntrl, digit, graph, lower, print, punct, space, upper, xdigit; };
const Sample kSamples[] = {
    {'a', 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 0, 1},   {'f', 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 0, 1},
    {'g', 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0},   {'Z', 1, 1, 0, 0, 0, 1, 0, 1, 0, 0, 1, 0},
    {'F', 1, 1, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1},   {'0', 1, 0, 0, 0, 1, 1, 0, 1, 0, 0, 0, 1},
    {'9', 1, 0, 0, 0, 1, 1, 0, 1, 0, 0, 0, 1},   {' ', 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0},
    {'\t', 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 0, 0},  {'\n', 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0},
    {'\r', 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0},  {'\0', 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0},
    {0x7f, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0},  {'~', 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0},
    {'!', 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0},   {'@', 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0},
    {'[', 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0},   {'`', 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0},
    {'{', 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0},   {'/', 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0},
    {':', 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0},   {EOF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

}  // namespace

TEST(Ctype, EachClassHoldsTheStandardsMembersOfAscii) {
  for (const ClassSize& size : kClassSizes) {
    vtest::name_case(size.name, "over 0-127");
    int members = 0;
    for (int c = 0; c < 128; ++c) members += size.is(c) != 0;
    EXPECT_EQ(members, size.members);
  }
}

TEST(Ctype, SamplesOfEveryKind) {
  for (unsigned i = 0; i < sizeof kSamples / sizeof *kSamples; ++i) {
    const Sample& s = kSamples[i];
    vtest::at_row(i);
    const bool want[] = {s.alnum, s.alpha, s.blank, s.cntrl, s.digit, s.graph, s.lower, s.print, s.punct, s.space, s.upper, s.xdigit};
    for (unsigned k = 0; k < sizeof want / sizeof *want; ++k) EXPECT_EQ(kClassSizes[k].is(s.c) != 0, want[k]);
  }
}

TEST(Ctype, NoByteFrom128UpBelongsToAnyClass) {
  for (const ClassSize& size : kClassSizes) {
    vtest::name_case(size.name, "over 128-255");
    int members = 0;
    for (int c = 128; c < 256; ++c) members += size.is(c) != 0;
    EXPECT_EQ(members, 0);
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
