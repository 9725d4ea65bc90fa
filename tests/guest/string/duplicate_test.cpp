// strdup and strndup: the copies they make and the exact heap room each takes. A block of
// recorded size s takes (s + 11) & ~7 bytes of the heap, so the distance from one block to
// the next shows the size that was asked for.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "vtest.h"

// A typed null pointer to compare results with.
constexpr const char* kNoString = nullptr;

namespace {

uintptr_t address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// The heap room taken by a call: the distance between two marker blocks placed around it
// less the 8 bytes of the first marker.
template <typename Call>
uint32_t room_taken(Call call, char** result) {
  void* const before = malloc(0);
  *result = call();
  void* const after = malloc(0);
  return static_cast<uint32_t>(address(after) - address(before)) - 8;
}

const char* low(uintptr_t value) { return reinterpret_cast<const char*>(value); }

// Above the lowest page but mapped in no program of the system: reading it would fault.
const char* unmapped(uintptr_t value) { return reinterpret_cast<const char*>(value); }

}  // namespace

TEST(Strdup, CopiesIntoABlockOfLengthPlusOne) {
  char* copy;
  const char source[] = "abc";
  EXPECT_EQ(room_taken([&] { return strdup(source); }, &copy), 8u);  // size 4
  ASSERT_NE(copy, kNoString);
  EXPECT_NE(copy, source);
  EXPECT_BYTES(copy, "abc", 4);

  EXPECT_EQ(room_taken([] { return strdup("abcd"); }, &copy), 16u);  // size 5
  EXPECT_BYTES(copy, "abcd", 5);

  EXPECT_EQ(room_taken([] { return strdup("eleven char"); }, &copy), 16u);  // size 12
  EXPECT_BYTES(copy, "eleven char", 12);

  EXPECT_EQ(room_taken([] { return strdup("twelve chars"); }, &copy), 24u);  // size 13
  EXPECT_BYTES(copy, "twelve chars", 13);

  EXPECT_EQ(room_taken([] { return strdup(""); }, &copy), 8u);  // size 1
  EXPECT_BYTES(copy, "", 1);
}

TEST(Strdup, NullAllocatesNothingAndLowPointerIsEmpty) {
  char* copy = reinterpret_cast<char*>(1);
  EXPECT_EQ(room_taken([] { return strdup(nullptr); }, &copy), 0u);
  EXPECT_EQ(copy, kNoString);

  EXPECT_EQ(room_taken([] { return strdup(low(16)); }, &copy), 8u);
  ASSERT_NE(copy, kNoString);
  EXPECT_BYTES(copy, "", 1);
}

TEST(Strndup, CopiesAtMostNBytes) {
  char* copy;
  EXPECT_EQ(room_taken([] { return strndup("abcdef", 3); }, &copy), 8u);  // size 4
  EXPECT_BYTES(copy, "abc", 4);

  EXPECT_EQ(room_taken([] { return strndup("abcd", 100); }, &copy), 16u);  // size 5, not 101
  EXPECT_BYTES(copy, "abcd", 5);

  EXPECT_EQ(room_taken([] { return strndup("abcdef", 6); }, &copy), 16u);  // size 7
  EXPECT_BYTES(copy, "abcdef", 7);

  EXPECT_EQ(room_taken([] { return strndup("ab", 0); }, &copy), 8u);  // size 1
  EXPECT_BYTES(copy, "", 1);

  EXPECT_EQ(room_taken([] { return strndup(unmapped(0x1000), 0); }, &copy), 8u);  // unread
  EXPECT_BYTES(copy, "", 1);

  // A source without a terminator within n bytes: exactly n bytes are taken.
  const char unterminated[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(room_taken([&] { return strndup(unterminated, 4); }, &copy), 16u);  // size 5
  EXPECT_BYTES(copy, "wxyz", 5);
}

TEST(Strndup, NullAllocatesNothingAndLowPointerIsEmpty) {
  char* copy = reinterpret_cast<char*>(1);
  EXPECT_EQ(room_taken([] { return strndup(nullptr, 3); }, &copy), 0u);
  EXPECT_EQ(copy, kNoString);

  EXPECT_EQ(room_taken([] { return strndup(low(16), 3); }, &copy), 8u);
  ASSERT_NE(copy, kNoString);
  EXPECT_BYTES(copy, "", 1);
}
