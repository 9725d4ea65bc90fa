// setjmp and longjmp: the first return is 0, a jump returns the value given (1 for 0), from
// any depth of calls, with the registers the convention keeps restored and the stack usable.
#include <setjmp.h>
#include <string.h>

#include "vtest.h"

namespace {

jmp_buf g_target;
int g_depth_reached;

// Calls itself `depth` times, each frame with live locals, then jumps out of all of them.
[[gnu::noinline]] int descend(int depth, int value) {
  volatile char frame[64];
  memset(const_cast<char*>(frame), depth, sizeof frame);
  g_depth_reached = depth;
  if (depth == 0) longjmp(g_target, value);
  return descend(depth - 1, value) + frame[0];
}

// Holds values in the registers the callee must keep (ebx, esi, edi) across a jump.
[[gnu::noinline]] int values_kept_in_registers(int seed) {
  int a = seed * 3, b = seed * 5, c = seed * 7, d = seed * 11;
  if (setjmp(g_target) == 0) {
    asm volatile("" : "+r"(a), "+r"(b), "+r"(c), "+r"(d));
    descend(4, 1);
  }
  asm volatile("" : "+r"(a), "+r"(b), "+r"(c), "+r"(d));
  return a + b + c + d;
}

}  // namespace

TEST(Setjmp, JumpsReturnTheirValueFromAnyDepth) {
  const struct { int depth, value, returned; } rows[] = {
      {0, 5, 5}, {1, 7, 7}, {30, -3, -3}, {2, 0, 1},  // longjmp with 0 makes setjmp return 1
      {3, 2147483647, 2147483647},
  };
  for (unsigned i = 0; i < sizeof rows / sizeof *rows; ++i) {
    vtest::at_row(i);
    volatile int returns = 0;
    const int got = setjmp(g_target);
    returns = returns + 1;
    if (got == 0) {
      descend(rows[i].depth, rows[i].value);
      EXPECT_TRUE(false);  // descend never returns
      continue;
    }
    EXPECT_EQ(got, rows[i].returned);
    EXPECT_EQ(returns, 2);  // once for the first return, once for the jump
    EXPECT_EQ(g_depth_reached, 0);
  }
}

TEST(Setjmp, RegistersTheConventionKeepsAreRestored) {
  EXPECT_EQ(values_kept_in_registers(1), 26);
  EXPECT_EQ(values_kept_in_registers(100), 2600);
}

TEST(Setjmp, ABufferServesASecondJump) {
  // A jump leaves its buffer intact: a second jump through it returns to the same setjmp.
  volatile int jumps = 0;
  if (setjmp(g_target) < 2) {  // 0, then 1 after the first jump; 3 after the second
    jumps = jumps + 1;
    descend(3, jumps == 1 ? 1 : 3);
  }
  EXPECT_EQ(jumps, 2);
}
