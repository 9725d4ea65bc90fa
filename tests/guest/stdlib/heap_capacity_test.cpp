// The bump heap's capacity, on a heap that nothing has used yet: this program makes no
// other allocation.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>

#include "stdlib/heap.h"
#include "vtest.h"

TEST(HeapCapacity, LargestBlockFillsTheWholeRegionAndNothingFitsAfterIt) {
  ASSERT_EQ(g_heap_used, 0u);
  errno = 0;
  EXPECT_TRUE(malloc(1048573) == nullptr);  // one byte more than the largest block
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(g_heap_used, 0u);

  errno = 99;
  char* all = static_cast<char*>(malloc(1048572));
  ASSERT_TRUE(all != nullptr);
  EXPECT_TRUE(all == reinterpret_cast<char*>(g_heap) + 4);
  EXPECT_EQ(g_heap_used, 0x100000u);
  EXPECT_EQ(errno, 99);
  all[0] = 'a';
  all[1048571] = 'z';  // the last byte is the region's last byte

  // Not even the smallest block fits now, by any of the three allocating operations.
  errno = 0;
  EXPECT_TRUE(malloc(0) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
  errno = 0;
  EXPECT_TRUE(calloc(0, 1) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
  errno = 0;
  EXPECT_TRUE(calloc(1, 1) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
  errno = 0;
  EXPECT_TRUE(realloc(nullptr, 0) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
  errno = 0;
  EXPECT_TRUE(realloc(all, 1) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(g_heap_used, 0x100000u);
  EXPECT_EQ(all[0], 'a');
  EXPECT_EQ(all[1048571], 'z');

  // Freeing gives nothing back.
  free(all);
  errno = 0;
  EXPECT_TRUE(malloc(1) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
}
