// Path splitting: which paths are accepted and what components they give.
#include <gtest/gtest.h>

#include <vector>

#include "fat32/errors.h"
#include "fat32/path.h"

namespace vornos::fat32 {
namespace {

TEST(Path, SplitsAbsolutePaths) {
  struct Case {
    const char* path;
    std::vector<std::u16string> components;
  };
  const Case cases[] = {
      {"/", {}},
      {"//", {}},
      {"/a", {u"a"}},
      {"/a/", {u"a"}},
      {"/a//b///", {u"a", u"b"}},
      {"/Photos/Summer Trip/x.jpg", {u"Photos", u"Summer Trip", u"x.jpg"}},
      {"/./a/../b", {u".", u"a", u"..", u"b"}},
      {"/caf\xC3\xA9", {u"caf\u00e9"}},
  };
  for (const Case& c : cases) {
    std::vector<std::u16string> components;
    EXPECT_EQ(split_path(c.path, components), kOk) << c.path;
    EXPECT_EQ(components, c.components) << c.path;
  }
}

TEST(Path, RefusesRelativeEmptyAndMalformedPaths) {
  std::vector<std::u16string> components;
  EXPECT_EQ(split_path("", components), kInvalid);
  EXPECT_EQ(split_path("a/b", components), kInvalid);
  EXPECT_EQ(split_path(".", components), kInvalid);
  EXPECT_EQ(split_path("/bad\xFF", components), kInvalid);
  EXPECT_EQ(split_path("/" + std::string(256, 'x'), components), kInvalid);
  EXPECT_EQ(split_path("/" + std::string(255, 'x'), components), kOk);
}

TEST(Path, JoinsNamesUnderTheRootAndBelow) {
  EXPECT_EQ(join_path("/", u"a"), "/a");
  EXPECT_EQ(join_path("/a", u"b c"), "/a/b c");
  EXPECT_EQ(join_path("/a", u"\u00e9"), "/a/\xC3\xA9");
}

}  // namespace
}  // namespace vornos::fat32
