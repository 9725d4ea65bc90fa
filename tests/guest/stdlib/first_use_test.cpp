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
  memset(first, 'k', 100);
  // A footprint one step beyond the free space does not fit; then leave room for one last
  // 8-byte block.
  const uint32_t free_space = vornos::kHeapSize - 104;
  const void* refused[] = {malloc(free_space - 3), calloc(1, free_space - 3), realloc(first, free_space - 3)};
  for (const void* p : refused) EXPECT_TRUE(p == nullptr);
  EXPECT_EQ(g_heap_used, 104u);
  errno = 99;
  unsigned char* big = static_cast<unsigned char*>(calloc(1, free_space - 12));
  ASSERT_TRUE(big != nullptr);
  EXPECT_EQ(big[free_space - 13], 0);
  EXPECT_TRUE(malloc(4) == g_heap + vornos::kHeapSize - 4);  // ends at the region's end
  EXPECT_EQ(g_heap_used, vornos::kHeapSize);
  EXPECT_EQ(errno, 99);

  // Full: nothing fits any more, by any operation, and nothing changes.
  void* (*const requests[])() = {
      [] { return malloc(0); },          [] { return calloc(0, 1); },
      [] { return realloc(nullptr, 0); }, [] { return realloc(g_heap + 4, 1); },  // of the first block
      [] { return static_cast<void*>(strdup("")); },
      [] { return static_cast<void*>(strndup("abc", 0)); },
  };
  for (auto request : requests) {
    errno = 0;
    EXPECT_TRUE(request() == nullptr);
    EXPECT_EQ(errno, ENOMEM);
  }
  free(first);  // gives nothing back
  EXPECT_TRUE(malloc(1) == nullptr);
  EXPECT_EQ(g_heap_used, vornos::kHeapSize);
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
  const int first = rand();
  const uint32_t state = g_rand_state;
  EXPECT_TRUE(g_rand_seeded == 1 && vornos::rand_output(state) == first);
  EXPECT_EQ(rand(), vornos::rand_output(vornos::rand_next_state(state)));
}
