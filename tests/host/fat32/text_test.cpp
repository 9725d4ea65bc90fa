// UTF-8/UTF-16 conversion and case-blind name comparison.
#include <gtest/gtest.h>

#include "fat32/text.h"

namespace vornos::fat32 {
namespace {

TEST(Text, RoundTripsUtf8ThroughUtf16) {
  for (const std::string text : {"", "plain.txt", "Caf\xC3\xA9 \xE2\x82\xAC", "emoji \xF0\x9F\x98\x80 end"}) {
    std::u16string wide;
    ASSERT_TRUE(utf8_to_utf16(text, wide)) << text;
    EXPECT_EQ(utf16_to_utf8(wide), text);
  }
  std::u16string wide;
  ASSERT_TRUE(utf8_to_utf16("\xF0\x9F\x98\x80", wide));
  EXPECT_EQ(wide, std::u16string({0xD83D, 0xDE00}));
}

TEST(Text, RefusesInvalidUtf8) {
  const char* bad[] = {"\x80", "a\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "\xC3\x28"};
  for (const char* text : bad) {
    std::u16string wide;
    EXPECT_FALSE(utf8_to_utf16(text, wide)) << "accepted " << testing::PrintToString(text);
  }
}

TEST(Text, UnpairedSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(utf16_to_utf8(std::u16string({u'a', 0xD800, u'b'})), "a\xEF\xBF\xBD" "b");
}

TEST(Text, ComparesWithoutRegardToCase) {
  EXPECT_TRUE(equal_ignoring_case(u"Summer Trip", u"sUMMER tRIP"));
  EXPECT_TRUE(equal_ignoring_case(u"caf\u00e9", u"CAF\u00c9"));
  EXPECT_FALSE(equal_ignoring_case(u"\u00f7", u"\u00d7"));  // division and multiplication signs
  EXPECT_FALSE(equal_ignoring_case(u"abc", u"abd"));
  EXPECT_FALSE(equal_ignoring_case(u"abc", u"abcd"));
  EXPECT_FALSE(equal_ignoring_case(u"[", u"{"));  // only letters fold
}

}  // namespace
}  // namespace vornos::fat32
