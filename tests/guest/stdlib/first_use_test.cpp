// State a process starts with: the heap from empty to exactly full, and rand seeding itself.
// A program of its own, since any earlier allocation or srand would hide both.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "stdlib/heap.h"
#include "stdlib/rand_state.h"
#include "vtest.h"

TEST(FirstUse, HeapFillsExactlyThenRefusesEveryRequest) {
  ASSERT_EQ(g_heap_used, 0u);
  errno = 0;
  EXPECT_TRUE(malloc(vornos::kHeapSize - 3) == nullptr);  // one byte more than the region
  EXPECT_EQ(errno, ENOMEM);
  char* first = static_cast<char*>(malloc(100));
  EXPECT_EQ(g_heap_used, 104u);
  memset(first, 'k', 100);
  // A footprint one step beyond the free space does not fit; then leave room for one last
  // 8-byte block.
  const uint32_t free_space = vornos::kHeapSize - 104;
  EXPECT_TRUE(malloc(free_space - 3) == nullptr);
  EXPECT_TRUE(calloc(1, free_space - 3) == nullptr);
  EXPECT_TRUE(realloc(first, free_space - 3) == nullptr);
  EXPECT_EQ(g_heap_used, 104u);
  errno = 99;
  unsigned char* big = static_cast<unsigned char*>(calloc(1, free_space - 12));
  ASSERT_TRUE(big != nullptr);
  EXPECT_EQ(big[free_space - 13], 0);
  EXPECT_EQ(g_heap_used, vornos::kHeapSize - 8);
  unsigned char* last = static_cast<unsigned char*>(malloc(4));
  EXPECT_TRUE(last == g_heap + vornos::kHeapSize - 4);  // ends at the region's end
  EXPECT_EQ(g_heap_used, vornos::kHeapSize);
  EXPECT_EQ(errno, 99);

  // Full: nothing fits any more, by any operation, and nothing changes.
  void* (*const requests[])() = {
      [] { return malloc(0); },          [] { return calloc(0, 1); },
      [] { return calloc(1, 1); },       [] { return realloc(nullptr, 0); },
      [] { return malloc(1); },          [] { return static_cast<void*>(strdup("x")); },
      [] { return static_cast<void*>(strdup("")); },
      [] { return static_cast<void*>(strndup("abc", 0)); },
  };
  for (auto request : requests) {
    errno = 0;
    EXPECT_TRUE(request() == nullptr);
    EXPECT_EQ(errno, ENOMEM);
  }
  EXPECT_TRUE(realloc(first, 1) == nullptr);
  free(first);  // gives nothing back
  EXPECT_TRUE(malloc(1) == nullptr);
  EXPECT_EQ(g_heap_used, vornos::kHeapSize);
  bool intact = true;
  for (int i = 0; i < 100; ++i) intact = intact && first[i] == 'k';
  EXPECT_TRUE(intact);
  // A null source makes no request at all, so there is no error.
  errno = 0;
  EXPECT_TRUE(strdup(nullptr) == nullptr);
  EXPECT_TRUE(strndup(nullptr, 5) == nullptr);
  EXPECT_EQ(errno, 0);
}

TEST(FirstUse, RandSeedsItselfOnceThenContinuesOneSequence) {
  ASSERT_EQ(g_rand_seeded, 0u);
  EXPECT_EQ(g_rand_state, 1u);
  const int first = rand();
  EXPECT_EQ(g_rand_seeded, 1u);
  // The stored state is the one that produced the value, and later calls step from it.
  uint32_t state = g_rand_state;
  EXPECT_EQ(vornos::rand_output(state), first);
  for (int i = 0; i < 10; ++i) {
    state = vornos::rand_next_state(state);
    EXPECT_EQ(rand(), vornos::rand_output(state));
  }
}
