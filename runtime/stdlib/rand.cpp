// rand: the next pseudo-random number, seeding the generator from the run once if srand never did.
#include <stdint.h>
#include <stdlib.h>

#include "heap.h"
#include "rand_state.h"

extern "C" {

uint32_t g_rand_state = 1;
uint32_t g_rand_seeded = 0;

int rand(void) {
  uint32_t state = g_rand_state;
  if (g_rand_seeded == 0) {
    uint32_t tsc_low;
    uint32_t tsc_high;
    asm volatile("rdtsc" : "=a"(tsc_low), "=d"(tsc_high));
    // A local's address and a static's (the heap's counter; only its address is used):
    // where the stack and the image lie may differ between runs.
    volatile uint32_t stack_anchor = 0;
    state = vornos::seed_from_run(tsc_low, tsc_high,
                                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&stack_anchor)),
                                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&g_heap_used)));
    g_rand_seeded = 1;
  }
  state = vornos::rand_next_state(state);
  g_rand_state = state;
  return vornos::rand_output(state);
}

}  // extern "C"
