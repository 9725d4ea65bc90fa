// strchr, strrchr and strstr: the position found, the terminator rule and the null rules.
#include <string.h>

#include "vtest.h"

// A typed null pointer to compare results with.
constexpr const char* kNoString = nullptr;

TEST(Strchr, FindsTheFirstByteEqualToTheLowByte) {
  const char* const s = "abcabc";
  EXPECT_EQ(strchr(s, 'b'), s + 1);
  EXPECT_EQ(strchr(s, 'a'), s);
  EXPECT_EQ(strchr(s, 'z'), kNoString);
  EXPECT_EQ(strchr(s, 0x162), s + 1);  // only the low byte counts
  EXPECT_EQ(strchr(s, 0), s + 6);      // the terminator is found
  EXPECT_EQ(strchr(s, 0x100), s + 6);
  const char* const high = "a\xe9z";
  EXPECT_EQ(strchr(high, 0xe9), high + 1);
  EXPECT_EQ(strchr(high, -23), high + 1);  // -23 has the low byte 0xE9
  EXPECT_EQ(strchr("", 'a'), kNoString);
  EXPECT_EQ(strchr(nullptr, 'a'), kNoString);
  EXPECT_EQ(strchr(nullptr, 0), kNoString);
}

TEST(Strrchr, FindsTheLastByteEqualToTheLowByte) {
  const char* const s = "abca";
  EXPECT_EQ(strrchr(s, 'a'), s + 3);
  EXPECT_EQ(strrchr(s, 'b'), s + 1);
  EXPECT_EQ(strrchr(s, 0x161), s + 3);
  EXPECT_EQ(strrchr(s, 'z'), kNoString);
  EXPECT_EQ(strrchr(s, 0), s + 4);
  const char* const empty = "";
  EXPECT_EQ(strrchr(empty, 0), empty);
  EXPECT_EQ(strrchr(empty, 'a'), kNoString);
  EXPECT_EQ(strrchr(nullptr, 'a'), kNoString);
}

TEST(Strstr, FindsTheFirstOccurrence) {
  const char* const h = "aab";
  EXPECT_EQ(strstr(h, "ab"), h + 1);
  EXPECT_EQ(strstr(h, "aab"), h);
  EXPECT_EQ(strstr(h, "b"), h + 2);
  EXPECT_EQ(strstr(h, "aabb"), kNoString);  // longer than the rest of h
  EXPECT_EQ(strstr(h, "ba"), kNoString);
  const char* const repeats = "aaab";
  EXPECT_EQ(strstr(repeats, "aab"), repeats + 1);  // a false start restarts one further on
  const char* const twice = "xyzxyz";
  EXPECT_EQ(strstr(twice, "zx"), twice + 2);
  EXPECT_EQ(strstr(twice, "yz"), twice + 1);
}

TEST(Strstr, EmptyAndMissingStrings) {
  const char* const h = "abc";
  EXPECT_EQ(strstr(h, ""), h);
  const char* const empty = "";
  EXPECT_EQ(strstr(empty, ""), empty);
  EXPECT_EQ(strstr(empty, "a"), kNoString);
  EXPECT_EQ(strstr(nullptr, "a"), kNoString);
  EXPECT_EQ(strstr(h, nullptr), kNoString);
  EXPECT_EQ(strstr(nullptr, ""), kNoString);
}
