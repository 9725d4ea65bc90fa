// Memory-block functions: exact bytes written, canaries around every destination, and no
// access at all when there is nothing to do.
#include <stdint.h>
#include <string.h>

#include "kernel_control.h"
#include "vtest.h"

namespace {

// Addresses in the first pages, which no program of the system has mapped: touching one
// would end the test program with a fault, so a call given one proves it read nothing.
void* unmapped(uintptr_t address) { return reinterpret_cast<void*>(address); }

// A destination with four canary bytes on each side.
struct Guarded {
  unsigned char front[4];
  unsigned char body[16];
  unsigned char back[4];

  explicit Guarded(const char* text) {
    for (int i = 0; i < 4; ++i) front[i] = back[i] = 0xC5;
    for (int i = 0; i < 16; ++i) body[i] = static_cast<unsigned char>(text[i]);
  }
  bool canaries_intact() const {
    for (int i = 0; i < 4; ++i) {
      if (front[i] != 0xC5 || back[i] != 0xC5) return false;
    }
    return true;
  }
};

}  // namespace

TEST(Memcpy, CopiesExactlyNBytesAndReturnsDestination) {
  Guarded d("................");
  EXPECT_TRUE(memcpy(d.body, "0123456789abcdef", 16) == d.body);
  EXPECT_BYTES(d.body, "0123456789abcdef", 16);
  EXPECT_TRUE(d.canaries_intact());

  Guarded e("................");
  EXPECT_TRUE(memcpy(e.body + 3, "xyz\0w", 5) == e.body + 3);  // NUL bytes are just bytes
  EXPECT_BYTES(e.body, "...xyz\0w........", 16);
  EXPECT_TRUE(e.canaries_intact());
}

TEST(Memcpy, CopiesForwardOneByteAtATime) {
  // Overlap is the caller's concern; a forward byte copy repeats the first byte.
  Guarded d("abcde...........");
  memcpy(d.body + 1, d.body, 4);
  EXPECT_BYTES(d.body, "aaaaa...........", 16);
  EXPECT_TRUE(d.canaries_intact());
}

TEST(Memmove, OverlappingCopiesKeepTheSource) {
  Guarded up("abcde...........");
  EXPECT_TRUE(memmove(up.body + 1, up.body, 4) == up.body + 1);
  EXPECT_BYTES(up.body, "aabcd...........", 16);
  EXPECT_TRUE(up.canaries_intact());

  Guarded down("abcde...........");
  EXPECT_TRUE(memmove(down.body, down.body + 1, 4) == down.body);
  EXPECT_BYTES(down.body, "bcdee...........", 16);
  EXPECT_TRUE(down.canaries_intact());

  Guarded wide("0123456789abcdef");
  memmove(wide.body + 4, wide.body, 12);
  EXPECT_BYTES(wide.body, "01230123456789ab", 16);
  EXPECT_TRUE(wide.canaries_intact());

  Guarded apart("abcd....wxyz....");
  memmove(apart.body + 4, apart.body + 8, 4);
  EXPECT_BYTES(apart.body, "abcdwxyzwxyz....", 16);
  EXPECT_TRUE(apart.canaries_intact());
}

TEST(Memset, FillsWithTheLowByte) {
  Guarded d("................");
  EXPECT_TRUE(memset(d.body + 2, 0x141, 3) == d.body + 2);
  EXPECT_BYTES(d.body, "..AAA...........", 16);
  EXPECT_TRUE(d.canaries_intact());

  Guarded e("................");
  memset(e.body, -1, 16);
  EXPECT_BYTES(e.body, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 16);
  EXPECT_TRUE(e.canaries_intact());
}

TEST(Memcmp, DifferenceOfTheFirstDifferingBytesAsUnsigned) {
  struct Case {
    const char* a;
    const char* b;
    size_t n;
    int result;
  };
  const Case cases[] = {
      {"\xFF", "\x01", 1, 254},
      {"\x01", "\xFF", 1, -254},
      {"\xFF", "\x00", 1, 255},
      {"\x00", "\xFF", 1, -255},
      {"abc", "abd", 3, -1},
      {"abc", "abd", 2, 0},      // the difference lies beyond n
      {"b\x01", "a\xFF", 2, 1},  // the first difference decides
      {"ab\0x", "ab\0y", 4, -1}, // NUL bytes do not end the comparison
      {"same", "same", 4, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(memcmp(c.a, c.b, c.n), c.result);
}

TEST(MemoryBlocks, NothingToDoMeansNoAccess) {
  const size_t none = 0;
  vtest::CallRecorder calls;
  EXPECT_TRUE(memcpy(unmapped(0x1000), unmapped(0x2000), 0) == unmapped(0x1000));
  EXPECT_TRUE(memmove(unmapped(0x1000), unmapped(0x2000), 0) == unmapped(0x1000));
  EXPECT_TRUE(memmove(unmapped(0x2000), unmapped(0x1000), 0) == unmapped(0x2000));
  // A block moved onto itself is left alone, however long.
  EXPECT_TRUE(memmove(unmapped(0x3000), unmapped(0x3000), 100) == unmapped(0x3000));
  EXPECT_TRUE(memset(unmapped(0x1000), 'x', none) == unmapped(0x1000));
  EXPECT_EQ(memcmp(unmapped(0x1000), unmapped(0x2000), 0), 0);
  EXPECT_EQ(calls.stop(), 0);  // and none of them calls the kernel
}
