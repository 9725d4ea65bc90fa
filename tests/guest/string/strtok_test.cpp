// strtok: tokens, the bytes it overwrites, and where its saved position stands between calls.
// The saved position carries over from test to test: they run in this order, in one process.
#include <string.h>

#include "vtest.h"

// A typed null pointer to compare results with.
constexpr const char* kNoString = nullptr;

TEST(Strtok, NothingToContinueBeforeTheFirstString) {
  EXPECT_EQ(strtok(nullptr, " "), kNoString);
  EXPECT_EQ(strtok(nullptr, nullptr), kNoString);
}

TEST(Strtok, SkipsRunsOfDelimitersAndOverwritesTheEnds) {
  char text[] = "  a,,b ";
  EXPECT_EQ(strtok(text, " ,"), text + 2);
  EXPECT_STREQ(text + 2, "a");
  EXPECT_EQ(strtok(nullptr, " ,"), text + 5);
  EXPECT_STREQ(text + 5, "b");
  EXPECT_EQ(strtok(nullptr, " ,"), kNoString);
  EXPECT_EQ(strtok(nullptr, " ,"), kNoString);
  // Only the delimiter after each token became a 0 byte.
  EXPECT_BYTES(text, "  a\0,b\0\0", 8);
}

TEST(Strtok, DelimiterSetMayChangeBetweenCalls) {
  char text[] = "key=value;next";
  EXPECT_EQ(strtok(text, "="), text);
  EXPECT_EQ(strtok(nullptr, ";"), text + 4);
  EXPECT_STREQ(text + 4, "value");
  EXPECT_EQ(strtok(nullptr, "="), text + 10);
  EXPECT_STREQ(text + 10, "next");
  EXPECT_EQ(strtok(nullptr, "="), kNoString);
}

TEST(Strtok, EmptyOrAllDelimitersGivesNoToken) {
  char empty[] = "";
  EXPECT_EQ(strtok(empty, ","), kNoString);
  EXPECT_EQ(strtok(nullptr, ","), kNoString);
  char only[] = ",, ,";
  EXPECT_EQ(strtok(only, ", "), kNoString);
  EXPECT_BYTES(only, ",, ,", 5);  // nothing was overwritten
  EXPECT_EQ(strtok(nullptr, ", "), kNoString);
}

// The saved position is observed by changing the string under it between calls.
TEST(Strtok, DelimiterThatEndsTheStringLeavesPositionAtTheTerminator) {
  char text[] = "a,\0bc";
  EXPECT_EQ(strtok(text, ","), text);
  text[2] = 'z';  // the position now stands on "zbc"
  EXPECT_EQ(strtok(nullptr, ","), text + 2);
  EXPECT_STREQ(text + 2, "zbc");
}

TEST(Strtok, TokenReachingTheEndLeavesNoPosition) {
  char text[] = "ab\0cd";
  EXPECT_EQ(strtok(text, ","), text);
  text[2] = 'x';  // were the position kept at the terminator, "xcd" would come next
  EXPECT_EQ(strtok(nullptr, ","), kNoString);
}

TEST(Strtok, NullOrEmptyDelimitersTakeTheWholeRest) {
  char text[] = "  abc";
  EXPECT_EQ(strtok(text, nullptr), text);  // nothing is skipped either
  EXPECT_BYTES(text, "  abc", 6);
  EXPECT_EQ(strtok(nullptr, ","), kNoString);

  char other[] = "x,y\0z";
  EXPECT_EQ(strtok(other, ""), other);
  other[3] = 'q';
  EXPECT_EQ(strtok(nullptr, ","), kNoString);  // the position was dropped
  EXPECT_BYTES(other, "x,yqz", 6);
}

TEST(Strtok, NewStringAbandonsTheOldOne) {
  char first[] = "a b c";
  char second[] = "x y";
  EXPECT_EQ(strtok(first, " "), first);
  EXPECT_EQ(strtok(second, " "), second);
  EXPECT_EQ(strtok(nullptr, " "), second + 2);
  EXPECT_EQ(strtok(nullptr, " "), kNoString);
  EXPECT_BYTES(first, "a\0b c", 6);  // the rest of the first string is untouched
}
