// strcpy, strncpy, strcat and strncat: exactly which bytes each writes, with canaries after.
#include <stdint.h>
#include <string.h>

#include "vtest.h"

// A typed null pointer to compare results with.
constexpr const char* kNoString = nullptr;

namespace {

constexpr char kCanary = '\x5a';

template <size_t N>
void fill(char (&area)[N], char value) {
  for (char& b : area) b = value;
}

char* low(uintptr_t address) { return reinterpret_cast<char*>(address); }

// Above the lowest page but mapped in no program of the system: touching it would fault.
char* unmapped(uintptr_t address) { return reinterpret_cast<char*>(address); }

}  // namespace

TEST(Strcpy, CopiesThroughTheTerminator) {
  char d[8];
  fill(d, kCanary);
  EXPECT_EQ(strcpy(d, "abc"), d);
  EXPECT_BYTES(d, "abc\0\x5a", 5);
  fill(d, kCanary);
  EXPECT_EQ(strcpy(d, ""), d);
  EXPECT_BYTES(d, "\0\x5a", 2);
}

TEST(Strcpy, PointerRules) {
  EXPECT_EQ(strcpy(nullptr, "abc"), kNoString);
  char d[4];
  fill(d, kCanary);
  EXPECT_EQ(strcpy(d, nullptr), d);  // a missing source makes the empty string
  EXPECT_BYTES(d, "\0\x5a", 2);
}

TEST(Strncpy, WritesExactlyNBytes) {
  char d[8];
  fill(d, kCanary);
  EXPECT_EQ(strncpy(d, "ab", 5), d);
  EXPECT_BYTES(d, "ab\0\0\0\x5a", 6);

  fill(d, kCanary);
  EXPECT_EQ(strncpy(d, "abcdef", 3), d);  // no room left for a terminator: none is written
  EXPECT_BYTES(d, "abc\x5a", 4);

  fill(d, kCanary);
  EXPECT_EQ(strncpy(d, "abc", 3), d);
  EXPECT_BYTES(d, "abc\x5a", 4);

  fill(d, kCanary);
  EXPECT_EQ(strncpy(d, "abc", 4), d);
  EXPECT_BYTES(d, "abc\0\x5a", 5);

  fill(d, kCanary);
  EXPECT_EQ(strncpy(d, "ab\0cd", 5), d);  // nothing of the source is read past its end
  EXPECT_BYTES(d, "ab\0\0\0\x5a", 6);
}

TEST(Strncpy, PointerRules) {
  char d[8];
  fill(d, kCanary);
  EXPECT_EQ(strncpy(d, nullptr, 4), d);  // a missing source is empty
  EXPECT_BYTES(d, "\0\0\0\0\x5a", 5);

  fill(d, kCanary);
  EXPECT_EQ(strncpy(d, "abc", 0), d);
  EXPECT_BYTES(d, "\x5a", 1);

  EXPECT_EQ(strncpy(nullptr, "abc", 3), kNoString);
  EXPECT_EQ(strncpy(unmapped(0x1000), unmapped(0x2000), 0), unmapped(0x1000));
}

TEST(Strcat, AppendsAfterTheDestination) {
  char d[12];
  fill(d, kCanary);
  strcpy(d, "ab");
  EXPECT_EQ(strcat(d, "cde"), d);
  EXPECT_BYTES(d, "abcde\0\x5a", 7);

  fill(d, kCanary);
  d[0] = '\0';
  EXPECT_EQ(strcat(d, "xy"), d);
  EXPECT_BYTES(d, "xy\0\x5a", 4);

  fill(d, kCanary);
  strcpy(d, "ab");
  EXPECT_EQ(strcat(d, ""), d);
  EXPECT_BYTES(d, "ab\0\x5a", 4);
}

TEST(Strcat, PointerRules) {
  char d[6];
  fill(d, kCanary);
  strcpy(d, "ab");
  EXPECT_EQ(strcat(d, nullptr), d);  // a missing source appends nothing
  EXPECT_BYTES(d, "ab\0\x5a", 4);
  EXPECT_EQ(strcat(nullptr, "x"), kNoString);
  // A destination in the lowest page is returned as it is and never written (a write there
  // would fault).
  EXPECT_EQ(strcat(low(16), "x"), low(16));
  EXPECT_EQ(strcat(low(4095), ""), low(4095));
}

TEST(Strncat, AppendsAtMostNBytesAndOneTerminator) {
  char d[12];
  fill(d, kCanary);
  strcpy(d, "ab");
  EXPECT_EQ(strncat(d, "xyz", 2), d);
  EXPECT_BYTES(d, "abxy\0\x5a", 6);

  fill(d, kCanary);
  strcpy(d, "ab");
  EXPECT_EQ(strncat(d, "xyz", 3), d);
  EXPECT_BYTES(d, "abxyz\0\x5a", 7);

  fill(d, kCanary);
  strcpy(d, "ab");
  EXPECT_EQ(strncat(d, "xyz", 8), d);  // no padding beyond the terminator, unlike strncpy
  EXPECT_BYTES(d, "abxyz\0\x5a", 7);

  fill(d, kCanary);
  d[0] = '\0';
  EXPECT_EQ(strncat(d, "xyz", 1), d);
  EXPECT_BYTES(d, "x\0\x5a", 3);
}

TEST(Strncat, WritesNothingWithoutSourceOrCount) {
  char d[6];
  fill(d, kCanary);
  d[0] = 'a';
  d[1] = '\0';
  EXPECT_EQ(strncat(d, "xyz", 0), d);
  EXPECT_BYTES(d, "a\0\x5a\x5a", 4);
  EXPECT_EQ(strncat(d, nullptr, 3), d);
  EXPECT_BYTES(d, "a\0\x5a\x5a", 4);
  EXPECT_EQ(strncat(d, unmapped(0x1000), 0), d);  // the source is not even read
  EXPECT_BYTES(d, "a\0\x5a\x5a", 4);
  EXPECT_EQ(strncat(nullptr, "x", 1), kNoString);
  EXPECT_EQ(strncat(low(16), "x", 1), low(16));
  EXPECT_EQ(strncat(low(2048), nullptr, 0), low(2048));
}
