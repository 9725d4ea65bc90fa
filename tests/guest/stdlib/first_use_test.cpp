// State a process starts with: the heap from empty to exactly full, and rand seeding itself.
// A program of its own, since any earlier allocation or srand would hide both.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "stdlib/heap.h"
#include "stdlib/rand_state.h"
#include "vtest.h"

// Every allocation takes its block through one step: its boundaries are shown once each.
TEST(FirstUse, HeapFillsExactlyThenRefusesEveryRequest) {
  ASSERT_EQ(g_heap_used, 0u);
  errno = 0;
  EXPECT_TRUE(malloc(vornos::kHeapSize - 3) == nullptr && errno == ENOMEM);  // a byte more than the region
  char* first = static_cast<char*>(malloc(100));
  memset(first, 'k', 100);
  // A footprint one step beyond the free space does not fit; then leave room for one last
  // 8-byte block.
  const uint32_t free_space = vornos::kHeapSize - 104;
  EXPECT_TRUE(realloc(first, free_space - 3) == nullptr);
  EXPECT_EQ(g_heap_used, 104u);
  errno = 99;
  unsigned char* big = static_cast<unsigned char*>(calloc(1, free_space - 12));
  ASSERT_TRUE(big != nullptr);
  EXPECT_EQ(big[free_space - 13], 0);
  EXPECT_TRUE(malloc(4) == g_heap + vornos::kHeapSize - 4);  // ends at the region's end
  EXPECT_TRUE(g_heap_used == vornos::kHeapSize && errno == 99);
  // Full: nothing fits any more, not even an empty request, and nothing changes.
  errno = 0;
  EXPECT_TRUE(malloc(0) == nullptr && errno == ENOMEM);
  errno = 0;
  EXPECT_TRUE(strndup("abc", 0) == nullptr && errno == ENOMEM);
  free(first);  // gives nothing back
  EXPECT_TRUE(calloc(0, 1) == nullptr && g_heap_used == vornos::kHeapSize);
  int kept = 0;
  for (int i = 0; i < 100; ++i) kept += first[i] == 'k';
  EXPECT_EQ(kept, 100);
  // A null source makes no request at all, so there is no error.
  errno = 0;
  EXPECT_TRUE(strdup(nullptr) == nullptr && strndup(nullptr, 5) == nullptr);
  EXPECT_EQ(errno, 0);
}

// rand seeds itself once (that runs differ is judged end to end), then steps from its state.
TEST(FirstUse, RandSeedsItselfOnce) {
  ASSERT_EQ(g_rand_seeded, 0u);
  rand();
  EXPECT_EQ(g_rand_seeded, 1u);
  g_rand_state = 1;  // the state srand(0) leaves: the next value is the one after it, not a new seed's
  EXPECT_EQ(rand(), 16838);
  EXPECT_EQ(g_rand_seeded, 1u);
}
