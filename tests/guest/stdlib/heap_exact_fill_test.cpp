// The bump heap granting a request that fills the remaining space exactly, on a heap that
// only this program's own allocations have used.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>

#include "stdlib/heap.h"
#include "vtest.h"

TEST(HeapExactFill, RequestFillingTheRestIsGrantedAndOneByteMoreIsNot) {
  ASSERT_EQ(g_heap_used, 0u);
  char* first = static_cast<char*>(malloc(100));
  ASSERT_TRUE(first != nullptr);
  ASSERT_EQ(g_heap_used, 104u);
  for (int i = 0; i < 100; ++i) first[i] = 'k';

  const uint32_t rest = 0x100000u - 104u;
  errno = 0;
  EXPECT_TRUE(malloc(rest - 3) == nullptr);  // footprint one step beyond the space left
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(g_heap_used, 104u);
  errno = 0;
  EXPECT_TRUE(calloc(1, rest - 3) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_TRUE(realloc(first, rest - 3) == nullptr);
  EXPECT_EQ(g_heap_used, 104u);

  errno = 99;
  unsigned char* last = static_cast<unsigned char*>(calloc(1, rest - 4));
  ASSERT_TRUE(last != nullptr);
  EXPECT_EQ(g_heap_used, 0x100000u);
  EXPECT_EQ(errno, 99);
  EXPECT_EQ(last[0], 0);
  EXPECT_TRUE(last + (rest - 4) == g_heap + 0x100000u);  // ends at the region's end

  // A full heap: realloc fails and leaves the old block as it was.
  errno = 0;
  EXPECT_TRUE(realloc(first, 1) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(g_heap_used, 0x100000u);
  bool intact = true;
  for (int i = 0; i < 100; ++i) intact = intact && first[i] == 'k';
  EXPECT_TRUE(intact);
}
