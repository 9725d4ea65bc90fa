// srand and rand: the sequences after a seed, the zero seed, the range, and the self-seeding
// mix as a pure function. The first rand without srand has a program of its own
// (rand_unseeded_test), since a seed here would hide it.
#include <stdint.h>
#include <stdlib.h>

#include "kernel_control.h"
#include "stdlib/rand_state.h"
#include "vtest.h"

TEST(Rand, SequenceAfterSeedOne) {
  srand(1);
  const int expected[] = {16838, 5758, 10113, 17515, 31051};
  for (int value : expected) EXPECT_EQ(rand(), value);
}

TEST(Rand, SequenceAfterSeedFortyTwo) {
  srand(42);
  EXPECT_EQ(rand(), 19081);
  EXPECT_EQ(rand(), 17033);
  EXPECT_EQ(rand(), 15269);
}

TEST(Rand, SeedZeroActsAsSeedOne) {
  srand(0);
  EXPECT_EQ(g_rand_state, 1u);
  EXPECT_EQ(g_rand_seeded, 1u);
  EXPECT_EQ(rand(), 16838);
  EXPECT_EQ(rand(), 5758);
}

TEST(Rand, SrandRestartsTheSequence) {
  srand(42);
  rand();
  rand();
  srand(42);
  EXPECT_EQ(rand(), 19081);
  srand(1);
  EXPECT_EQ(rand(), 16838);
}

TEST(Rand, StateStepAndOutputBits) {
  srand(1);
  EXPECT_EQ(rand(), 16838);
  EXPECT_EQ(g_rand_state, 1103527590u);
  // Bit 31 of the state never reaches the result.
  srand(0xFFFFFFFFu);
  EXPECT_EQ(rand(), 15929);
  EXPECT_EQ(g_rand_state, 0xBE39E1CCu);
}

TEST(Rand, StaysInRangeAndUsesTheWholeRange) {
  srand(7);
  int lowest = RAND_MAX;
  int highest = 0;
  for (int i = 0; i < 100000; ++i) {
    const int value = rand();
    if (value < 0 || value > RAND_MAX) {
      EXPECT_GE(value, 0);
      EXPECT_LE(value, RAND_MAX);
      return;
    }
    if (value < lowest) lowest = value;
    if (value > highest) highest = value;
  }
  EXPECT_LT(lowest, 16);
  EXPECT_GT(highest, RAND_MAX - 16);
}

TEST(Rand, MakesNoKernelCall) {
  srand(3);
  vtest::CallRecorder calls;
  rand();
  srand(4);
  rand();
  EXPECT_EQ(calls.stop(), 0);
}

TEST(RandSeed, MixOfRunValues) {
  using vornos::seed_from_run;
  EXPECT_EQ(seed_from_run(0, 0, 0, 0), 0x01FCE552u);
  EXPECT_EQ(seed_from_run(0x12345678u, 0x9ABCu, 0xBFFFF000u, 0x00412340u), 0x21D10EC8u);
  EXPECT_EQ(seed_from_run(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), 0x2C382376u);
  // Inputs that cancel to 0 hash to 0, which becomes 1 as with srand(0).
  EXPECT_EQ(seed_from_run(1, 0, 0, 0x9E3779B8u), 1u);
  // Neighbouring counter readings give unrelated seeds.
  EXPECT_NE(seed_from_run(1000, 0, 0x1000, 0x2000) >> 16,
            seed_from_run(1001, 0, 0x1000, 0x2000) >> 16);
}
