// The buffer formatter's storing rule: what reaches the caller's array, where the NUL goes,
// the full length returned, and that nothing outside buffer[0..size-1] is ever written.
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

#include "kernel_control.h"
#include "vtest.h"

namespace {

constexpr char kGuard = '\xa5';

int format_into(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = vsnprintf(buffer, size, format, args);
  va_end(args);
  return length;
}

int sprint_into(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = vsprintf(buffer, format, args);
  va_end(args);
  return length;
}

template <size_t N>
void fill(char (&area)[N], char value) {
  for (char& b : area) b = value;
}

}  // namespace

TEST(Snprintf, TruncatesAndCountsFullLength) {
  char out[8];
  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 6, "hello"), 5);
  EXPECT_BYTES(out, "hello\0\xa5", 7);

  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 5, "hello"), 5);
  EXPECT_BYTES(out, "hell\0\xa5", 6);

  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 1, "hello"), 5);
  EXPECT_BYTES(out, "\0\xa5", 2);

  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 0, "hello"), 5);
  EXPECT_BYTES(out, "\xa5\xa5", 2);

  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 3, "%d", 12345), 5);
  EXPECT_BYTES(out, "12\0\xa5", 4);

  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 4, "%s!", "hello world"), 12);
  EXPECT_BYTES(out, "hel\0\xa5", 5);

  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 4, "%10d", 7), 10);  // cut inside the padding
  EXPECT_BYTES(out, "   \0\xa5", 5);
}

TEST(Snprintf, NullBufferStoresNothingAndCounts) {
  EXPECT_EQ(snprintf(nullptr, 0, "abc%d", 77), 5);
  // A size without a buffer would have the NUL and the characters written through null;
  // nothing is stored and the length is still returned.
  EXPECT_EQ(snprintf(nullptr, 16, "abc%d", 77), 5);
  EXPECT_EQ(snprintf(nullptr, 1, ""), 0);
  EXPECT_EQ(snprintf(nullptr, 8, nullptr), 0);
}

TEST(Snprintf, NullOrEmptyFormatGivesZero) {
  char out[9];
  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 8, nullptr), 0);
  EXPECT_BYTES(out, "\0\xa5\xa5\xa5\xa5\xa5\xa5\xa5\xa5", 9);
  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 0, nullptr), 0);
  EXPECT_BYTES(out, "\xa5\xa5\xa5\xa5", 4);
  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 3, ""), 0);
  EXPECT_BYTES(out, "\0\xa5\xa5\xa5", 4);
}

TEST(Snprintf, HugeWidthIsCountedNotStored) {
  char out[8];
  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 6, "%1000000000d|", 1), 1000000001);
  EXPECT_BYTES(out, "     \0\xa5", 7);
  fill(out, kGuard);
  EXPECT_EQ(snprintf(out, 6, "%-1000000000s|", "ab"), 1000000001);
  EXPECT_BYTES(out, "ab   \0\xa5", 7);
}

// For each format: every size from 0 to past the output's length, with guard bytes on both
// sides of the array. The stored bytes must be the output's first size - 1 characters and a
// NUL, every other byte untouched, and the result always the full length.
TEST(Snprintf, NeverWritesOutsideTheBuffer) {
  struct Case {
    const char* format;
    uint32_t words[4];
  };
  const char* const absent = nullptr;
  const Case cases[] = {
      {"", {}},
      {"x", {}},
      {"hello, world", {}},
      {"%d", {0x80000000u}},
      {"[%-8d|%08x|%+.4i]", {42, 0xbeefu, 3}},
      {"%*.*X!", {12, 9, 0xabcdefu}},
      {"%s and %.3s", {static_cast<uint32_t>(reinterpret_cast<uintptr_t>("left")),
                       static_cast<uint32_t>(reinterpret_cast<uintptr_t>("right"))}},
      {"%-9s|%7s", {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(absent)),
                    static_cast<uint32_t>(reinterpret_cast<uintptr_t>("z"))}},
      {"%p %u %%", {0xc0ffeeu, 4000000000u}},
      {"a%cb%c", {0, 'z'}},
      {"%q%5%%l%", {}},
      {"%lld|%llx", {0, 0x80000000u, 0xffffffffu}},
      {"trailing%5", {}},
  };
  constexpr uint32_t kGuardBytes = 8;
  constexpr uint32_t kMaxOutput = 64;
  for (const Case& c : cases) {
    char reference[kMaxOutput + 1];
    const int length = format_into(reference, sizeof reference, c.format, c.words[0], c.words[1],
                                   c.words[2], c.words[3]);
    ASSERT_TRUE(length >= 0 && static_cast<uint32_t>(length) < kMaxOutput);
    for (uint32_t size = 0; size <= static_cast<uint32_t>(length) + 3; ++size) {
      char area[kGuardBytes + kMaxOutput + 3 + kGuardBytes];
      char expected[sizeof area];
      fill(area, kGuard);
      fill(expected, kGuard);
      char* const buffer = area + kGuardBytes;
      if (size != 0) {
        const uint32_t stored = static_cast<uint32_t>(length) < size ? length : size - 1;
        for (uint32_t i = 0; i < stored; ++i) expected[kGuardBytes + i] = reference[i];
        expected[kGuardBytes + stored] = '\0';
      }
      const int result = format_into(buffer, size, c.format, c.words[0], c.words[1], c.words[2],
                                     c.words[3]);
      EXPECT_EQ(result, length);
      if (!vtest::same_bytes(area, expected, sizeof area)) {
        EXPECT_BYTES(area, expected, sizeof area);
        vtest::print("    format was: ");
        vtest::print(c.format);
        vtest::print("\n");
        break;
      }
    }
  }
}

TEST(Sprintf, StoresAtMost65535CharactersAndCountsAll) {
  static char source[70001];
  static char out[65536 + 16];
  for (uint32_t i = 0; i < 70000; ++i) source[i] = static_cast<char>('a' + i % 26);
  fill(out, kGuard);
  EXPECT_EQ(sprintf(out, "%s", source), 70000);
  EXPECT_BYTES(out, source, 65535);
  EXPECT_EQ(out[65535], '\0');
  EXPECT_BYTES(out + 65536, "\xa5\xa5\xa5\xa5\xa5\xa5\xa5\xa5", 8);

  fill(out, kGuard);
  EXPECT_EQ(sprint_into(out, "%.65534s%s", source, "XYZ"), 65537);
  EXPECT_BYTES(out, source, 65534);
  EXPECT_BYTES(out + 65534, "X\0\xa5", 3);
}

TEST(Sprintf, FormatsLikeSnprintf) {
  char out[32];
  fill(out, kGuard);
  EXPECT_EQ(sprintf(out, "%s=%05d;%X", "n", -12, 0xbeefu), 12);
  EXPECT_BYTES(out, "n=-0012;BEEF\0\xa5", 14);
  fill(out, kGuard);
  EXPECT_EQ(sprint_into(out, "%c%llu", '#', 5000000000ULL), 11);
  EXPECT_BYTES(out, "#5000000000\0\xa5", 13);
}

TEST(Snprintf, MakesNoKernelCall) {
  char out[64];
  static char wide[70000];
  vtest::CallRecorder calls;
  snprintf(out, sizeof out, "%d %s %x %p %c %%", 1, "two", 3u, out, '5');
  snprintf(out, 4, "%-20s|%lld", "cut", 1LL);
  snprintf(nullptr, 0, "%q");
  sprintf(wide, "%60000d", 7);
  format_into(out, sizeof out, "%*.*X", 9, 4, 0xabu);
  EXPECT_EQ(calls.stop(), 0);
}
