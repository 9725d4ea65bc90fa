// srand: restart the pseudo-random sequence from a seed (0 counts as 1).
#include <stdint.h>
#include <stdlib.h>

#include "rand_state.h"

extern "C" void srand(unsigned int seed) {
  g_rand_state = vornos::nonzero_seed(seed);
  g_rand_seeded = 1;
}
