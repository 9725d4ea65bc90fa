// The bump heap: block footprints and headers, clearing, copying, failures and errno.
// Reads the heap's private region and used count (C linkage, declared in its private header).
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>

#include "stdlib/heap.h"
#include "vtest.h"

namespace {

constexpr unsigned char kPoison = 0xAA;

// Marks the next n bytes of free space, so that a test can tell which bytes an operation
// wrote: fresh heap space is otherwise all zero.
void poison_free_space(uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) g_heap[g_heap_used + i] = kPoison;
}

bool all_bytes(const void* p, uint32_t n, unsigned char value) {
  const unsigned char* bytes = static_cast<const unsigned char*>(p);
  for (uint32_t i = 0; i < n; ++i) {
    if (bytes[i] != value) return false;
  }
  return true;
}

uint32_t recorded_size(const void* payload) { return static_cast<const uint32_t*>(payload)[-1]; }

int32_t distance(const void* from, const void* to) {
  return static_cast<int32_t>(static_cast<const unsigned char*>(to) -
                              static_cast<const unsigned char*>(from));
}

}  // namespace

TEST(Heap, FootprintsAreHeaderPlusSizeRoundedToEight) {
  struct Case {
    size_t size;
    uint32_t recorded, footprint;
  };
  const Case cases[] = {{0, 1, 8},   {1, 1, 8},    {4, 4, 8},     {5, 5, 16},   {12, 12, 16},
                        {13, 13, 24}, {20, 20, 24}, {100, 100, 104}, {21, 21, 32}};
  errno = 99;
  for (const Case& c : cases) {
    const uint32_t before = g_heap_used;
    unsigned char* p = static_cast<unsigned char*>(malloc(c.size));
    ASSERT_TRUE(p != nullptr);
    EXPECT_TRUE(p == g_heap + before + 4);  // payload right after the header word
    EXPECT_EQ(recorded_size(p), c.recorded);
    EXPECT_EQ(g_heap_used - before, c.footprint);
  }
  EXPECT_EQ(errno, 99);  // success leaves errno alone
}

TEST(Heap, BlocksLieBackToBackWithPayloadsFourPastEight) {
  EXPECT_EQ(reinterpret_cast<uintptr_t>(g_heap) % 8, 0u);
  void* a = malloc(1);
  void* b = malloc(1);
  void* c = malloc(4);
  void* d = malloc(5);
  void* e = malloc(0);
  void* f = malloc(0);
  EXPECT_EQ(distance(a, b), 8);
  EXPECT_EQ(distance(b, c), 8);
  EXPECT_EQ(distance(c, d), 8);
  EXPECT_EQ(distance(d, e), 16);
  EXPECT_EQ(distance(e, f), 8);  // empty requests still get distinct blocks
  EXPECT_EQ(distance(g_heap, f) % 8, 4);
  EXPECT_EQ(g_heap_used % 8, 0u);
}

TEST(Heap, MallocDoesNotClear) {
  poison_free_space(32);
  void* p = malloc(24);
  ASSERT_TRUE(p != nullptr);
  EXPECT_TRUE(all_bytes(p, 24, kPoison));
}

TEST(Heap, CallocClearsExactlyTheProduct) {
  poison_free_space(64);
  errno = 99;
  const uint32_t before = g_heap_used;
  unsigned char* p = static_cast<unsigned char*>(calloc(3, 5));
  ASSERT_TRUE(p != nullptr);
  EXPECT_TRUE(all_bytes(p, 15, 0));
  EXPECT_TRUE(all_bytes(p + 15, 5, kPoison));  // spare bytes up to the footprint untouched
  EXPECT_EQ(recorded_size(p), 15u);
  EXPECT_EQ(g_heap_used - before, 24u);
  EXPECT_EQ(errno, 99);
}

TEST(Heap, CallocOfNothingIsOneUnclearedByte) {
  const size_t shapes[][2] = {{0, 10}, {10, 0}, {0, 0}, {0, 0xFFFFFFFFu}};
  for (const auto& shape : shapes) {
    poison_free_space(8);
    const uint32_t before = g_heap_used;
    unsigned char* p = static_cast<unsigned char*>(calloc(shape[0], shape[1]));
    ASSERT_TRUE(p != nullptr);
    EXPECT_EQ(recorded_size(p), 1u);
    EXPECT_EQ(g_heap_used - before, 8u);
    EXPECT_TRUE(all_bytes(p, 4, kPoison));
  }
}

TEST(Heap, RequestsThatCannotFitFailWithoutTouchingTheHeap) {
  struct Case {
    size_t count, size;  // count 0: a malloc of `size`
  };
  const Case cases[] = {
      {0, 0x100000},        // larger than the region
      {0, 0xFFFFFFFFu},     // footprint arithmetic would wrap
      {0, 0xFFFFFFF5u},     // size + 11 wraps to exactly 0
      {0, 0xFFFFFFFCu},
      {65536, 65536},       // product needs 33 bits
      {2, 0x80000000u},
      {0x10001, 0x10001},
      {1, 0xFFFFFFF5u},     // the product fits 32 bits, the block does not
  };
  for (const Case& c : cases) {
    const uint32_t before = g_heap_used;
    poison_free_space(16);
    errno = 0;
    void* p = c.count == 0 ? malloc(c.size) : calloc(c.count, c.size);
    EXPECT_TRUE(p == nullptr);
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_EQ(g_heap_used, before);
    EXPECT_TRUE(all_bytes(g_heap + before, 16, kPoison));  // no header was written
  }
  // Later requests that fit still succeed.
  EXPECT_TRUE(malloc(16) != nullptr);
}

TEST(Heap, ReallocOfNullIsMalloc) {
  const uint32_t before = g_heap_used;
  errno = 99;
  void* p = realloc(nullptr, 10);
  ASSERT_TRUE(p != nullptr);
  EXPECT_TRUE(p == g_heap + before + 4);
  EXPECT_EQ(recorded_size(p), 10u);
  EXPECT_EQ(g_heap_used - before, 16u);
  EXPECT_EQ(errno, 99);
  errno = 0;
  EXPECT_TRUE(realloc(nullptr, 0xFFFFFFFFu) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
}

TEST(Heap, ReallocGrowingCopiesOnlyTheOldBlock) {
  char* p = static_cast<char*>(malloc(10));
  ASSERT_TRUE(p != nullptr);
  for (int i = 0; i < 10; ++i) p[i] = static_cast<char>('a' + i);
  char* q = static_cast<char*>(malloc(12));  // data after p that must not be copied
  for (int i = 0; i < 12; ++i) q[i] = 'Q';
  poison_free_space(112);
  const uint32_t before = g_heap_used;
  errno = 99;
  char* r = static_cast<char*>(realloc(p, 100));
  ASSERT_TRUE(r != nullptr);
  EXPECT_TRUE(r != p);
  EXPECT_BYTES(r, "abcdefghij", 10);
  EXPECT_TRUE(all_bytes(r + 10, 90, kPoison));
  EXPECT_EQ(recorded_size(r), 100u);
  EXPECT_EQ(g_heap_used - before, 104u);
  EXPECT_BYTES(p, "abcdefghij", 10);  // the old block is left as it was
  EXPECT_EQ(errno, 99);
}

TEST(Heap, ReallocShrinkingCopiesOnlyTheNewSize) {
  char* p = static_cast<char*>(malloc(10));
  for (int i = 0; i < 10; ++i) p[i] = static_cast<char>('a' + i);
  poison_free_space(16);
  char* r = static_cast<char*>(realloc(p, 4));
  ASSERT_TRUE(r != nullptr);
  EXPECT_TRUE(r != p);  // p was the latest block, and still a fresh one is taken
  EXPECT_BYTES(r, "abcd", 4);
  // Beyond the 8-byte footprint lies free space that a longer copy would have written.
  EXPECT_TRUE(all_bytes(r + 4, 8, kPoison));
  EXPECT_EQ(recorded_size(r), 4u);
  EXPECT_BYTES(p, "abcdefghij", 10);
}

TEST(Heap, ReallocToTheSameSizeOrToZeroStillMoves) {
  char* p = static_cast<char*>(malloc(20));
  for (int i = 0; i < 20; ++i) p[i] = static_cast<char>('A' + i);
  char* same = static_cast<char*>(realloc(p, 20));
  ASSERT_TRUE(same != nullptr);
  EXPECT_TRUE(same != p);
  EXPECT_BYTES(same, p, 20);

  poison_free_space(16);
  const uint32_t before = g_heap_used;
  unsigned char* tiny = static_cast<unsigned char*>(realloc(p, 0));
  ASSERT_TRUE(tiny != nullptr);
  EXPECT_TRUE(tiny != reinterpret_cast<unsigned char*>(p));
  EXPECT_EQ(recorded_size(tiny), 1u);
  EXPECT_EQ(tiny[0], 'A');
  EXPECT_TRUE(all_bytes(tiny + 1, 3, kPoison));  // one byte copied, no more
  EXPECT_EQ(g_heap_used - before, 8u);
  EXPECT_BYTES(p, "ABCDEFGHIJKLMNOPQRST", 20);
}

TEST(Heap, FailedReallocLeavesTheOldBlockAndTheHeap) {
  char* p = static_cast<char*>(malloc(8));
  for (int i = 0; i < 8; ++i) p[i] = static_cast<char>('0' + i);
  const uint32_t before = g_heap_used;
  errno = 0;
  EXPECT_TRUE(realloc(p, 0x100000) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(g_heap_used, before);
  EXPECT_BYTES(p, "01234567", 8);
  EXPECT_EQ(recorded_size(p), 8u);
}

TEST(Heap, FreeGivesNothingBack) {
  char* p = static_cast<char*>(malloc(16));
  for (int i = 0; i < 16; ++i) p[i] = 'f';
  const uint32_t before = g_heap_used;
  errno = 99;
  free(nullptr);
  free(p);
  free(p);
  EXPECT_EQ(g_heap_used, before);
  EXPECT_TRUE(all_bytes(p, 16, 'f'));
  void* next = malloc(16);
  EXPECT_TRUE(next != p);
  EXPECT_TRUE(static_cast<char*>(next) > p);
  EXPECT_EQ(errno, 99);
}
