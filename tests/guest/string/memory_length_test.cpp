// String measures: lengths, limits, and the low-pointer rule (nothing below 4096 is read).
#include <stdint.h>
#include <string.h>

#include "vtest.h"

namespace {

// Unmapped in every program of the system: reading one would end the test with a fault.
const char* low(uintptr_t address) { return reinterpret_cast<const char*>(address); }

}  // namespace

TEST(Strlen, CountsBytesBeforeTheTerminator) {
  EXPECT_EQ(strlen(""), 0u);
  EXPECT_EQ(strlen("a"), 1u);
  EXPECT_EQ(strlen("hello, world"), 12u);
  EXPECT_EQ(strlen("ab\0cd"), 2u);
  static char long_text[3000];
  for (int i = 0; i < 2999; ++i) long_text[i] = '\xFF';  // high bytes count like any other
  EXPECT_EQ(strlen(long_text), 2999u);
}

TEST(Strlen, PointersBelow4096AreEmptyAndNeverRead) {
  EXPECT_EQ(strlen(nullptr), 0u);
  EXPECT_EQ(strlen(low(16)), 0u);
  EXPECT_EQ(strlen(low(1)), 0u);
  EXPECT_EQ(strlen(low(4095)), 0u);
}

TEST(Strnlen, SmallerOfLengthAndLimit) {
  struct Case {
    const char* s;
    size_t limit;
    size_t result;
  };
  const Case cases[] = {
      {"abc", 2, 2}, {"abc", 3, 3}, {"abc", 10, 3}, {"abc", 0xFFFFFFFFu, 3}, {"", 5, 0},
      {"abc", 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(strnlen(c.s, c.limit), c.result);
}

TEST(Strnlen, ReadsNoMoreThanTheLimit) {
  // No terminator within reach: only the limit stops the count.
  const char unterminated[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(strnlen(unterminated, 4), 4u);
  EXPECT_EQ(strnlen(unterminated, 2), 2u);
}

TEST(Strnlen, LowPointerOrZeroLimitReadsNothing) {
  EXPECT_EQ(strnlen(nullptr, 10), 0u);
  EXPECT_EQ(strnlen(low(16), 10), 0u);
  EXPECT_EQ(strnlen(low(4095), 0xFFFFFFFFu), 0u);
  // 0x1000 is no low pointer but is unmapped: a limit of 0 must not read it.
  EXPECT_EQ(strnlen(low(0x1000), 0), 0u);
}
