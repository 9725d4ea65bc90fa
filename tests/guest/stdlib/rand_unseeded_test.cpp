// rand before any srand: it seeds itself once, then continues one sequence. A program of its
// own, because any srand earlier in the process would hide the self-seeding.
#include <stdint.h>
#include <stdlib.h>

#include "stdlib/rand_state.h"
#include "vtest.h"

// One test, so that nothing can run between the unseeded start and the first rand.
TEST(RandUnseeded, SeedsOnceThenContinuesOneSequence) {
  ASSERT_EQ(g_rand_seeded, 0u);
  EXPECT_EQ(g_rand_state, 1u);
  const int first = rand();
  EXPECT_GE(first, 0);
  EXPECT_LE(first, RAND_MAX);
  EXPECT_EQ(g_rand_seeded, 1u);
  // The stored state is the one that produced the value, and later calls step from it.
  uint32_t state = g_rand_state;
  EXPECT_EQ(vornos::rand_output(state), first);
  for (int i = 0; i < 10; ++i) {
    state = vornos::rand_next_state(state);
    EXPECT_EQ(rand(), vornos::rand_output(state));
  }
  EXPECT_EQ(g_rand_state, state);
}
