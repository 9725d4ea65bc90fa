// The string unit: exact results, the bytes each writer touches (canaries after them), the
// pointer rules, and strtok's saved position. Pointers below 4096 and the unmapped pages at
// 0x1000 and 0x2000 would fault if read: a result for one shows the rule was decided unread.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "vtest.h"

namespace {

char* at(uintptr_t address) { return reinterpret_cast<char*>(address); }
constexpr char* kNull = nullptr;
constexpr size_t kZero = 0;  // a length the compiler does not take for a slip
constexpr int kSkip = 999;  // a column the row does not apply to (the function would read)

// strcmp, strncmp (n), strcasecmp and strncasecmp (n) on the same operands.
struct Comparison { const char* a; const char* b; size_t n; int cmp, ncmp, casecmp, ncasecmp; };
const Comparison kComparisons[] = {
    {"abc", "abc", 3, 0, 0, 0, 0},          {"a", "b", 1, -1, -1, -1, -1},
    {"abc", "ab", 9, 99, 99, 99, 99},       {"\xff", "a", 1, 158, 158, 158, 158},
    {"", "\xff", 1, -255, -255, -255, -255},
    {"abc", "abd", 2, -1, 0, -1, 0},        {"abc", "abd", 100, -1, -1, -1, -1},
    {"ab\0x", "ab\0y", 4, 0, 0, 0, 0},      {"Abc", "abc", 3, -32, -32, 0, 0},
    {"HELLO", "help", 3, -32, -32, -4, 0},  {"HELLO", "help", 4, -32, -32, -4, -4},
    {"[", "a", 1, -6, -6, -6, -6},          {"Z", "a", 1, -7, -7, 25, 25},
    {"@", "`", 1, -32, -32, -32, -32},      {"\xc9", "\xe9", 1, -32, -32, -32, -32},
    // Pointer rules: strcmp and strncmp treat every pointer below 4096 as missing, the
    // case-folding pair only null; the same pointer is equal; a zero limit decides first.
    {nullptr, nullptr, 5, 0, 0, 0, 0},      {"a", nullptr, 1, 1, 1, 1, 1},
    {nullptr, "x", 0, -1, 0, -1, 0},        {nullptr, at(8), 1, -1, -1, -1, -1},
    {at(16), at(16), 5, 0, 0, kSkip, 0},    {"a", at(4095), 1, 1, 1, kSkip, kSkip},
    {at(16), at(32), 1, -1, -1, kSkip, kSkip}, {at(0x1000), at(0x1000), 9, 0, 0, kSkip, 0},
    {at(4095), at(0x1000), 1, -1, -1, kSkip, kSkip}, {at(0x1000), at(0x2000), 0, kSkip, 0, kSkip, 0},
};

using Writer = char* (*)(char*, const char*, size_t);
const Writer kStrcpy = [](char* d, const char* s, size_t) { return strcpy(d, s); };
const Writer kStrcat = [](char* d, const char* s, size_t) { return strcat(d, s); };

// A 16-byte destination of canaries 'Z' holding `before`; afterwards its first bytes.
struct Write { Writer call; const char *before, *source; size_t n; const char* after; size_t checked; };
const Write kWrites[] = {
    {kStrcpy, "", "abc", 0, "abc\0Z", 5},        {kStrcpy, "q", nullptr, 0, "\0\0Z", 3},
    {strncpy, "", "ab\0cd", 5, "ab\0\0\0Z", 6},  {strncpy, "", "abcdef", 3, "abcZ", 4},
    {strncpy, "q", nullptr, 4, "\0\0\0\0Z", 5},  {strncpy, "q", "abc", 0, "q\0Z", 3},
    {kStrcat, "ab", "cde", 0, "abcde\0Z", 7},    {kStrcat, "ab", nullptr, 0, "ab\0Z", 4},
    {strncat, "ab", "xyz", 2, "abxy\0Z", 6},     {strncat, "ab", "xyz", 8, "abxyz\0Z", 7},
    {strncat, "aQ", nullptr, 3, "aQ\0Z", 4},     {strncat, "aQ", at(0x1000), 0, "aQ\0Z", 4},
};

// The heap room a call takes: the distance between marker blocks around it, less the first
// marker's 8 bytes. A block of recorded size s takes (s + 11) & ~7 bytes.
template <typename Call>
uint32_t room_taken(Call call, char** result) {
  char* const before = static_cast<char*>(malloc(0));
  *result = call();
  return static_cast<uint32_t>(static_cast<char*>(malloc(0)) - before) - 8;
}

}  // namespace

TEST(String, Comparisons) {
  for (unsigned i = 0; i < sizeof kComparisons / sizeof *kComparisons; ++i) {
    const Comparison& c = kComparisons[i];
    vtest::at_row(i);
    if (c.cmp != kSkip) EXPECT_EQ(strcmp(c.a, c.b), c.cmp);
    if (c.ncmp != kSkip) EXPECT_EQ(strncmp(c.a, c.b, c.n), c.ncmp);
    if (c.casecmp != kSkip) EXPECT_EQ(strcasecmp(c.a, c.b), c.casecmp);
    if (c.ncasecmp != kSkip) EXPECT_EQ(strncasecmp(c.a, c.b, c.n), c.ncasecmp);
  }
}

TEST(String, CopyAndAppendWriteExactlyTheirBytes) {
  for (unsigned i = 0; i < sizeof kWrites / sizeof *kWrites; ++i) {
    const Write& w = kWrites[i];
    vtest::at_row(i);
    char d[16];
    memset(d, 'Z', sizeof d);
    memcpy(d, w.before, strlen(w.before) + 1);
    EXPECT_EQ(w.call(d, w.source, w.n), d);
    EXPECT_BYTES(d, w.after, w.checked);
  }
  // Destinations that are missing or in the lowest page come back unwritten.
  const Writer writers[] = {kStrcpy, strncpy, kStrcat, strncat};
  for (Writer call : writers) EXPECT_EQ(call(nullptr, "x", 1), kNull);
  EXPECT_EQ(strncpy(at(0x1000), at(0x2000), 0), at(0x1000));
  EXPECT_EQ(strcat(at(4095), "x"), at(4095));
  EXPECT_EQ(strncat(at(16), "x", 1), at(16));
}

TEST(String, MemoryBlocks) {
  // Each call runs on the body "0123456789abcdef", between canaries, and must return the
  // destination at offset `to`.
  const struct { void* (*call)(unsigned char* body); int to; const char* after; } cases[] = {
      {[](unsigned char* b) { return memcpy(b + 3, "xyz\0w", 5); }, 3, "012xyz\0w89abcdef"},
      {[](unsigned char* b) { return memmove(b + 1, b, 4); }, 1, "0012356789abcdef"},
      {[](unsigned char* b) { return memmove(b, b + 1, 4); }, 0, "1234456789abcdef"},
      {[](unsigned char* b) { return memset(b + 2, 0x141, 3); }, 2, "01AAA56789abcdef"},
  };
  for (unsigned i = 0; i < sizeof cases / sizeof *cases; ++i) {
    vtest::at_row(i);
    unsigned char g[24];
    memset(g, 0xC5, sizeof g);
    memcpy(g + 4, "0123456789abcdef", 16);
    EXPECT_TRUE(cases[i].call(g + 4) == g + 4 + cases[i].to);
    EXPECT_BYTES(g + 4, cases[i].after, 16);
    EXPECT_BYTES(g, "\xC5\xC5\xC5\xC5", 4);
    EXPECT_BYTES(g + 20, "\xC5\xC5\xC5\xC5", 4);
  }
  // Nothing to do means no access at all, as does a block moved onto itself.
  EXPECT_EQ(memcpy(at(0x1000), at(0x2000), 0), at(0x1000));
  EXPECT_EQ(memmove(at(0x1000), at(0x2000), 0), at(0x1000));
  EXPECT_EQ(memmove(at(0x3000), at(0x3000), 100), at(0x3000));
  EXPECT_EQ(memset(at(0x1000), 'x', kZero), at(0x1000));
  EXPECT_EQ(memcmp(at(0x1000), at(0x2000), 0), 0);
  // memcmp: the first differing bytes, each as 0..255, decide.
  struct Order { const char *a, *b; size_t n; int result; } const orders[] = {
      {"\xFF", "\x01", 1, 254}, {"\x00", "\xFF", 1, -255}, {"abc", "abd", 3, -1},
      {"abc", "abd", 2, 0},     {"b\x01", "a\xFF", 2, 1}, {"ab\0x", "ab\0y", 4, -1},
  };
  for (const Order& o : orders) EXPECT_EQ(memcmp(o.a, o.b, o.n), o.result);
}

TEST(String, Searches) {
  const char *const s = "abcabc", *const high = "a\xe9z", *const empty = "";
  struct Find { const char* s; int c; const char *first, *last; } const finds[] = {
      {s, 'a', s, s + 3},       {s, 'z', nullptr, nullptr}, {s, 0x162, s + 1, s + 4},
      {s, 0x100, s + 6, s + 6}, {high, -23, high + 1, high + 1}, {empty, 'a', nullptr, nullptr},
      {empty, 0, empty, empty}, {nullptr, 0, nullptr, nullptr},
  };
  for (const Find& f : finds) {
    EXPECT_EQ(strchr(f.s, f.c), f.first);
    EXPECT_EQ(strrchr(f.s, f.c), f.last);
  }
  const char *const h = "aab", *const aaab = "aaab", *const twice = "xyzx";
  struct Sub { const char *h, *k, *found; } const subs[] = {
      {h, "ab", h + 1},   {h, "aab", h},      {h, "b", h + 2},      {h, "aabb", nullptr},
      {aaab, "aab", aaab + 1}, {twice, "zx", twice + 2}, {h, "", h}, {empty, "a", nullptr},
      {h, nullptr, nullptr}, {nullptr, "", nullptr},
  };
  for (const Sub& c : subs) EXPECT_EQ(strstr(c.h, c.k), c.found);
}

// strtok keeps its position between calls.
TEST(Strtok, TokensTheBytesItOverwritesAndItsSavedPosition) {
  EXPECT_EQ(strtok(nullptr, " "), kNull);  // nothing to continue yet
  char text[] = "  a,,b ";
  EXPECT_EQ(strtok(text, " ,"), text + 2);
  EXPECT_EQ(strtok(nullptr, " ,"), text + 5);
  EXPECT_EQ(strtok(nullptr, " ,"), kNull);
  EXPECT_BYTES(text, "  a\0,b\0\0", 8);  // only the delimiter after each token
  char pairs[] = "key=value;next";  // the set may change between calls
  EXPECT_EQ(strtok(pairs, "="), pairs);
  EXPECT_EQ(strtok(nullptr, ";"), pairs + 4);
  EXPECT_EQ(strtok(nullptr, "="), pairs + 10);
  EXPECT_BYTES(pairs, "key\0value\0next", 15);
  // The saved position, observed by changing the string under it between calls.
  char ended[] = "a,\0bc";  // a delimiter ends the string: the position is its terminator
  EXPECT_EQ(strtok(ended, ","), ended);
  ended[2] = 'z';
  EXPECT_EQ(strtok(nullptr, ","), ended + 2);
  char whole[] = "ab\0cd";  // a token reaching the end leaves no position
  EXPECT_EQ(strtok(whole, ","), whole);
  whole[2] = 'x';
  EXPECT_EQ(strtok(nullptr, ","), kNull);
  char rest[] = "  abc";  // no delimiters: the whole rest, nothing skipped, no position
  EXPECT_EQ(strtok(rest, nullptr), rest);
  EXPECT_EQ(strtok(nullptr, ","), kNull);
}

// strlen and strnlen, then the duplicates, which take the length plus one.
TEST(String, LengthsAndDuplicates) {
  const char unterminated[4] = {'w', 'x', 'y', 'z'};
  struct Length { const char* s; size_t limit, length, limited; } const lengths[] = {
      {"", 5, 0, 0},           {"ab\0cd", 9, 2, 2},     {"\xff\x80", 5, 2, 2},   {"abc", 2, 3, 2},
      {"abc", 3, 3, 3},        {"abc", 0xFFFFFFFFu, 3, 3}, {"abc", 0, 3, 0},   {nullptr, 10, 0, 0},
      {at(4095), 0xFFFFFFFFu, 0, 0}, {unterminated, 4, kSkip, 4}, {at(0x1000), 0, kSkip, 0},
  };
  for (const Length& c : lengths) {
    if (c.length != kSkip) EXPECT_EQ(strlen(c.s), c.length);
    EXPECT_EQ(strnlen(c.s, c.limit), c.limited);
  }
  struct Case { const char* s; int n; uint32_t room; const char* copy; } const cases[] = {  // n -1: strdup
      {"abc", -1, 8, "abc"},      {"abcd", -1, 16, "abcd"},   {"eleven char", -1, 16, "eleven char"},
      {"twelve chars", -1, 24, "twelve chars"}, {at(16), -1, 8, ""}, {"abcdef", 3, 8, "abc"},
      {"abcd", 100, 16, "abcd"},  {at(0x1000), 0, 8, ""},     {unterminated, 4, 16, "wxyz"},
      {at(16), 3, 8, ""},         {nullptr, -1, 0, nullptr},  {nullptr, 3, 0, nullptr},
  };
  for (const Case& c : cases) {
    char* copy;
    EXPECT_EQ(room_taken([&] { return c.n < 0 ? strdup(c.s) : strndup(c.s, c.n); }, &copy), c.room);
    EXPECT_STREQ(copy, c.copy);
  }
}

// memchr and memrchr look at exactly n bytes (a NUL is a byte like any other); the low byte of
// c is what they seek. An n of 0 reads nothing, so an unmapped pointer is no fault.
TEST(String, ByteSearchesWithinABlock) {
  const char block[] = "abcabc\0ab\xff";  // 11 bytes with the terminator
  struct Search { const char* s; int c; size_t n; int first, last; } const rows[] = {  // -1: null
      {block, 'a', 10, 0, 7},      {block, 'c', 10, 2, 5},      {block, 'c', 2, -1, -1},
      {block, 'c', 3, 2, 2},       {block, '\0', 11, 6, 10},    {block, 0x100 | 'b', 10, 1, 8},
      {block, 0xff, 10, 9, 9},     {block, -1, 10, 9, 9},       {block, 'z', 11, -1, -1},
      {block, 'a', 0, -1, -1},     {at(0x1000), 'a', 0, -1, -1},
  };
  for (unsigned i = 0; i < sizeof rows / sizeof *rows; ++i) {
    const Search& r = rows[i];
    vtest::at_row(i);
    const char* first = static_cast<const char*>(memchr(r.s, r.c, r.n));
    const char* last = static_cast<const char*>(memrchr(r.s, r.c, r.n));
    EXPECT_EQ(first == nullptr ? -1 : first - r.s, r.first);
    EXPECT_EQ(last == nullptr ? -1 : last - r.s, r.last);
  }
}

// strspn counts the leading bytes in the set, strcspn those outside it; strpbrk points at the
// first byte in the set. A null string or set is empty; the terminator is never in a set.
TEST(String, RunsInAndOutOfASet) {
  struct Span { const char* s; const char* set; size_t in, out; int found; } const rows[] = {  // found -1: null
      {"  \tword", " \t", 3, 0, 0},   {"word  ", " \t", 0, 4, 4},     {"abcabc", "cba", 6, 0, 0},
      {"abcxabc", "cba", 3, 0, 0},    {"hello", "xyz", 0, 5, -1},     {"", "abc", 0, 0, -1},
      {"abc", "", 0, 3, -1},          {"abc", nullptr, 0, 3, -1},     {nullptr, "abc", 0, 0, -1},
      {"a\xff" "b", "\xff", 0, 1, 1}, {"key=value", "=", 0, 3, 3},    {"aaa", "a", 3, 0, 0},
  };
  for (unsigned i = 0; i < sizeof rows / sizeof *rows; ++i) {
    const Span& r = rows[i];
    vtest::at_row(i);
    EXPECT_EQ(strspn(r.s, r.set), r.in);
    EXPECT_EQ(strcspn(r.s, r.set), r.out);
    const char* found = strpbrk(r.s, r.set);
    EXPECT_EQ(found == nullptr ? -1 : found - r.s, r.found);
  }
}
