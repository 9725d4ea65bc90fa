// The buffer formatter (conversions, the storing rule, hostile widths and precisions, with
// canaries around the array; the stream formatter's string precision too) and the scanner.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "kernel_control.h"
#include "vtest.h"

namespace {

constexpr char kCanary = '\xa5';
constexpr uint32_t kMax = 0x7fffffff, kMin = 0x80000000;
constexpr int kLengthOfStored = -100;
constexpr uint32_t kNo = 0xCCCCCCCCu;  // a value the scanner never stored

using vtest::word;
const uint32_t abc = word("abc");

// A format and its argument words (a pointer is its address, a 64-bit value two words, low
// first); what must be stored before the NUL, the result, and the size of the array.
struct Case {
  const char* format;
  uint32_t w[8];
  const char* stored;
  int result = kLengthOfStored;
  uint32_t size = 64;
};

void check(const Case& c) {
  vtest::name_case("snprintf", c.format);
  char area[8 + 64 + 8], expected[sizeof area];
  for (uint32_t i = 0; i < sizeof area; ++i) area[i] = expected[i] = kCanary;
  vtest::CallRecorder calls;  // the buffer formatter never calls the kernel
  const int result = snprintf(area + 8, c.size, c.format, c.w[0], c.w[1], c.w[2], c.w[3], c.w[4],
                              c.w[5], c.w[6], c.w[7]);
  EXPECT_EQ(calls.stop(), 0);
  const uint32_t n = strlen(c.stored);
  memcpy(expected + 8, c.stored, c.size != 0 ? n + 1 : n);  // the NUL too, where there is room
  const int want = c.result == kLengthOfStored ? static_cast<int>(n) : c.result;
  EXPECT_EQ(result, want);
  EXPECT_BYTES(area, expected, sizeof area);
}

}  // namespace

TEST(Snprintf, Conversions) {
  const Case cases[] = {
      {"[%5d|%-5d|%05d|%+5d]", {42, 42, 42, 42}, "[   42|42   |00042|  +42]"},
      {"[%05d|%+05d|%0-5d|%-0+8d|%+u|%+d]", {-42u, 42, 42, 42, 42, 0}, "[-0042|+0042|42   |+42     |42|+0]"},
      {"[%.3d|%05.3d|%-5.3d|%+.3d]", {-42u, 42, -42u, 42}, "[-042|  042|-042 |+042]"},
      {"[%.0d|%.d|%2d|%8.4x]", {0, 0, 12345, 255}, "[0|0|12345|    00ff]"},
      {"[%*d|%*d|%.*d]", {5, 42, -5u, 42, -1u, 42}, "[   42|42|42]"},
      {"%d %i %u %x", {kMin, kMax, ~0u, 0xdeadbeef}, "-2147483648 2147483647 4294967295 deadbeef"},
      {"[%X|%08X|%-4x|%lX|%zx|%ld]", {255, 255, 255, 255, 255, ~0u}, "[FF|000000FF|ff  |FF|ff|-1]"},
      {"[%s|%5s|%.2s|%5.2s|%.0s|%2s]", {abc, abc, abc, abc, abc, abc}, "[abc|  abc|ab|   ab||abc]"},
      {"[%s|%.2s|%8s|%3s|%05s]", {0, 0, 0, word(""), abc}, "[(null)|(n|  (null)|   |  abc]"},
      {"[%-5s|%-5.2s|%*s|%-*s]", {abc, abc, -5u, abc, 5, abc}, "[abc  |ab   |abc  |abc  ]"},
      {"[%c%c|%5c|%-5c|%.0c]", {'o', 0x14b, 'A', 'B', 'C'}, "[oK|A|B|C]"},
      {"[%p|%p|%.8p|%-10p|%010p]", {0x1234, 0, 0x1234, 1, 2}, "[0x1234|0x0|0x1234|0x1|0x2]"},
      {"[%%|%5%|%-%|%l%|%.3%|%lp]", {~0u}, "[%|%|%|%|%|0xffffffff]"},
      {"[%q|%5q|%-5q|%+08.3lq|%hd|% d|%#x]", {}, "[%q|%q|%q|%q|%hd|% d|%#x]"},
      {"[%lz|%zl|%lll|%zz|%\xe9]%q%d", {7}, "[%z|%l|%l|%z|%\xe9]%q7"},
      {"%*q%.*q%*.*q%*%%*c|%d", {5, 3, 3, 4, 9, 2, 'x', 6}, "%q%q%q%x|6"},
      {"abc%", {}, "abc"}, {"abc%.*", {1}, "abc"}, {"abc%+0-", {}, "abc"}, {"abc%*.*l", {1, 2}, "abc"},
      {"%lld|%llu|%lli", {0, kMin, ~0u, ~0u, ~0u, ~0u}, "-9223372036854775808|18446744073709551615|-1"},
      {"%llx|%llX", {0, 0x10, 0x89abcdef, 0x1234567}, "1000000000|123456789ABCDEF"},
      {"%+lld|%-12lld|%014lld", {1, 1, 0, 1, 0, ~0u}, "+4294967297|4294967296  |-0004294967296"},
      {"%llp|%llc|%lls|%ll%|%d", {0x1234, 'A', abc, 5}, "0x1234|A|abc|%|5"},
  };
  for (const Case& c : cases) check(c);
}

TEST(Snprintf, StoresAtMostSizeMinusOneAndANul) {
  const Case cases[] = {
      {"hello", {}, "hello", 5, 6}, {"hello", {}, "hell", 5, 5}, {"hello", {}, "", 5, 1},
      {"hello", {}, "", 5, 0},      {"%10d", {7}, "   ", 10, 4}, {"%s!", {word("hello world")}, "hel", 12, 4},
      {"", {}, "", 0, 3},           {nullptr, {}, "", 0, 8},     {"%1000000000d|", {1}, "     ", 1000000001, 6},
      {"%-1000000000s|", {word("ab")}, "ab   ", 1000000001, 6},
      // A field of 2^31 characters; a count past 2^32 stops at 2^32 - 1 and stores nothing
      // more; written widths and precisions stop at 2^31 - 1.
      {"%+.2147483647d", {5}, "+00000000000000", int(kMin), 16},
      {"%*d%*d%s", {kMax, 1, kMax, 1, abc}, "               ", -1, 16},
      {"[%3000000000s]", {word("ab")}, "[              ", -2147483647, 16},
      {"[%99999999999d]", {1}, "[              ", -2147483647, 16},
      {"[%.4294967299s|%.9999999999d]", {abc, 7}, "[abc|0000000000", int(kMin) + 5, 16},
      {"[%*s]", {kMin, word("ab")}, "[ab            ", -2147483646, 16},
  };
  for (const Case& c : cases) check(c);
  EXPECT_EQ(snprintf(nullptr, 16, "abc%d", 77), 5);
  char out[6] = "\xa5\xa5\xa5\xa5\xa5";
  EXPECT_EQ(snprintf(out, 4, "a%cb", 0), 3);  // a NUL from %c is stored and counted
  EXPECT_BYTES(out, "a\0b\0\xa5", 5);
}

// A zero-filled page in a section of its own, which the linker places after every other
// writable one: the last mapped page of the program, with nothing mapped after it.
asm(".section snprintf_last_page, \"aw\", @nobits\n.balign 4096\n"
    "s_last_page: .zero 4096\n.previous");
extern "C" char s_last_page[4096];

// Three bytes that end where the mapping ends: a precision of 3 must not read on.
TEST(Snprintf, PrecisionBoundsTheStringRead) {
  char* const text = s_last_page + 4096 - 3;
  text[0] = 'x', text[1] = 'y', text[2] = 'z';
  check({"[%.3s]", {word(text)}, "[xyz]"});
  FILE stream = {STREAM_MEM, 0, nullptr, nullptr, 0, 0, nullptr, nullptr, 0, 0, 0};
  EXPECT_EQ(fprintf(&stream, "[%.3s|%.*s|%.4294967299s]", text, 2, text, "abcdef"), 15);
  EXPECT_STREQ(stream.buf, "[xyz|xy|abcdef]");
}

TEST(Sprintf, StoresAtMost65535CharactersAndCountsAll) {
  static char source[70001], out[65536 + 8];
  for (uint32_t i = 0; i < 70000; ++i) source[i] = static_cast<char>('a' + i % 26);
  for (char& b : out) b = kCanary;
  EXPECT_EQ(sprintf(out, "%s", source), 70000);
  EXPECT_BYTES(out, source, 65535);
  EXPECT_BYTES(out + 65535, "\0\xa5\xa5\xa5\xa5\xa5\xa5\xa5\xa5", 9);
}

TEST(Sscanf, NumbersWhitespaceAndLiterals) {
  const struct {
    const char* input;
    const char* format;
    int result;
    uint32_t a, b;
  } rows[] = {
      {"  -42", "%d", 1, uint32_t(-42), kNo}, {"+7|010", "%d|%d", 2, 7, 10}, {"5,6", "%d ,%d", 2, 5, 6},
      {"\n5", "%d", 0, kNo, kNo}, {"\n5", " %d", 1, 5, kNo},  // conversions skip blanks only
      {"5\t\n ,6", "%d ,%d", 2, 5, 6}, {"\r5", "%d", 0, kNo, kNo},
      {"5\r6", "%d\r%d", 2, 5, 6}, {"0x1f", "%x", 1, 0, kNo}, {"A -ff", "%x %X", 2, 10, uint32_t(-255)},
      {"+1f", "%x", 1, 31, kNo}, {"017 0X1A", "%i %i", 2, 15, 26}, {"08", "%i%d", 2, 0, 8},
      {"0 -0x10", "%i %i", 2, 0, uint32_t(-16)}, {"0xz", "%i", 0, kNo, kNo},
      {"12345", "%2d", 1, 12345, kNo}, {"y=5", "x=%d", 0, kNo, kNo}, {"%5", "%%%d", 1, 5, kNo},
      {"  %5", "%%%d", 0, kNo, kNo}, {"%5", "%*5%%d", 1, 5, kNo}, {"5", "%5*d", 0, kNo, kNo},
      {"5 6", "%*d %d", 1, 6, kNo}, {"+5", "%u", 0, kNo, kNo}, {"4294967296", "%u", 1, 0, kNo},
      {"5", "%ld", 0, kNo, kNo}, {"7", "%d%", 1, 7, kNo}, {"", "%d", 0, kNo, kNo}, {"abc", "", 0, kNo, kNo},
  };
  for (const auto& r : rows) {
    uint32_t got[3] = {0, kNo, kNo};
    got[0] = uint32_t(sscanf(r.input, r.format, &got[1], &got[2]));
    const uint32_t want[3] = {uint32_t(r.result), r.a, r.b};
    vtest::name_case("sscanf", r.format);
    EXPECT_BYTES(got, want, sizeof got);  // the result and the two values
  }
}

// Destinations of 8 bytes filled with '~': what is stored shows exactly, NUL included.
TEST(Sscanf, WordsAndCharacters) {
  const struct {
    const char* input;
    const char* format;
    bool null_first;
    int result;
    const char* stored[2];  // the 8 bytes of each destination afterwards
  } rows[] = {
      {"abc def", "%s %s", false, 2, {"abc\0~~~", "def\0~~~"}},
      {"abc\tdef", "%s%s", false, 2, {"abc\0~~~", "def\0~~~"}},
      {"\nabc", "%s", false, 1, {"\0~~~~~~", "~~~~~~~"}},  // at a newline: an empty word
      {"abc", "%*s%s", false, 0, {"~~~~~~~", "~~~~~~~"}},      {" \t", "%s", false, 0, {"~~~~~~~", "~~~~~~~"}},
      {"a b", "%c%c%*c", false, 2, {"a~~~~~~", " ~~~~~~"}},  // one byte, no NUL
      {"", "%c", false, 0, {"~~~~~~~", "~~~~~~~"}},           {"ab", "%7s", false, 1, {"ab\0~~~~", "~~~~~~~"}},
      {"abc def", "%s %s", true, 1, {"~~~~~~~", "def\0~~~"}},  // null: consumed, not counted
      {"abcdefghij kl", "%3s%s", false, 2, {"abc\0~~~", "kl\0~~~~"}},  // width bounds the store
      {"abcdef", "%0s%c", false, 1, {"\0~~~~~~", "~~~~~~~"}},
  };
  for (const auto& r : rows) {
    char got[2][8] = {"~~~~~~~", "~~~~~~~"};
    const int result = sscanf(r.input, r.format, r.null_first ? nullptr : got[0], got[1]);
    vtest::at_row(static_cast<unsigned>(&r - rows));
    EXPECT_EQ(result, r.result);
    for (int i = 0; i < 2; ++i) EXPECT_BYTES(got[i], r.stored[i], 8);
  }
}
