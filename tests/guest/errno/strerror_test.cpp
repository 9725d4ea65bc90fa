// strerror: one constant text per known code, "error" for every other int.
#include <errno.h>
#include <string.h>

#include "vtest.h"

TEST(Strerror, TextOfEveryCode) {
  const struct { int code; const char* text; } known[] = {
      {0, "ok"}, {2, "no such file"}, {22, "invalid argument"}, {38, "not implemented"}};
  for (const auto& c : known) EXPECT_STREQ(strerror(c.code), c.text);
  const int unknown[] = {ENOMEM, 1, 3, 21, 23, 37, 39, -2, -22, -38, -2147483647 - 1};
  for (int code : unknown) EXPECT_STREQ(strerror(code), "error");
  EXPECT_EQ(strerror(2), strerror(2));  // the same constant text, never a copy
  EXPECT_EQ(strerror(-5), strerror(7));
}
