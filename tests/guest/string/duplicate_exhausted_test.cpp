// strdup and strndup on a full heap: a null result with the heap's error, nothing else.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "vtest.h"

// A typed null pointer to compare results with.
constexpr const char* kNoString = nullptr;

namespace {

// Takes every byte of the heap in blocks of halving footprints (size s - 4 takes s bytes).
void exhaust_heap() {
  for (uint32_t footprint = 1u << 20; footprint >= 8; footprint >>= 1) {
    while (malloc(footprint - 4) != nullptr) {
    }
  }
}

}  // namespace

TEST(Strdup, FullHeapGivesNullAndTheHeapError) {
  exhaust_heap();
  ASSERT_EQ(malloc(0), kNoString);

  errno = 0;
  EXPECT_EQ(strdup("x"), kNoString);
  EXPECT_EQ(errno, ENOMEM);
  errno = 0;
  EXPECT_EQ(strdup(""), kNoString);
  EXPECT_EQ(errno, ENOMEM);
  errno = 0;
  EXPECT_EQ(strndup("abc", 2), kNoString);
  EXPECT_EQ(errno, ENOMEM);
  errno = 0;
  EXPECT_EQ(strndup("abc", 0), kNoString);
  EXPECT_EQ(errno, ENOMEM);

  // A null source makes no request at all, so the heap sets no error.
  errno = 0;
  EXPECT_EQ(strdup(nullptr), kNoString);
  EXPECT_EQ(strndup(nullptr, 5), kNoString);
  EXPECT_EQ(errno, 0);
}
