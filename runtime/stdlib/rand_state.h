// The pseudo-random generator's state and its pure steps, shared by srand, rand and their tests.
#pragma once

#include <stdint.h>

extern "C" {
// The generator state (1 until seeded) and whether srand or rand has seeded it yet.
extern uint32_t g_rand_state;
extern uint32_t g_rand_seeded;
}

namespace vornos {

// One step of the linear congruential generator modulo 2^32.
constexpr uint32_t rand_next_state(uint32_t state) { return state * 1103515245u + 12345u; }

// Bits 16 to 30 of a state: the value rand returns, 0 to 32767.
constexpr int rand_output(uint32_t state) { return static_cast<int>((state >> 16) & 0x7FFFu); }

// A zero state would be a poor start, so both srand and the self-seeding map 0 to 1.
constexpr uint32_t nonzero_seed(uint32_t seed) { return seed != 0 ? seed : 1u; }

// The values that vary from run to run (the time-stamp counter and two addresses) folded into
// one word, then scattered over all 32 bits by an integer hash so that nearby counter
// readings give unrelated seeds.
constexpr uint32_t seed_from_run(uint32_t tsc_low, uint32_t tsc_high, uint32_t stack_address,
                                 uint32_t static_address) {
  uint32_t x = stack_address ^ static_address ^ (tsc_high * 1664525u) ^ tsc_low ^ 0x9E3779B9u;
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return nonzero_seed(x);
}

}  // namespace vornos
