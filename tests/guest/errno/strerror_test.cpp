// strerror: one constant text per known code, "error" for every other int.
#include <errno.h>
#include <string.h>

#include "vtest.h"

TEST(Strerror, TextOfEveryCode) {
  const struct { int code; const char* text; } cases[] = {
      {0, "ok"}, {2, "no such file"}, {22, "invalid argument"}, {38, "not implemented"},
      {ENOMEM, "error"}, {1, "error"}, {3, "error"}, {21, "error"}, {23, "error"}, {37, "error"},
      {39, "error"}, {-2, "error"}, {-22, "error"}, {-38, "error"}, {-2147483647 - 1, "error"},
  };
  for (const auto& c : cases) EXPECT_STREQ(strerror(c.code), c.text);
  EXPECT_EQ(strerror(2), strerror(2));  // the same constant text, never a copy
  EXPECT_EQ(strerror(-5), strerror(7));
}
