// The stdlib unit: the number parsers (value and end position of every row), the random
// generator, the fixed answers of abs, getenv and atexit, and the bump heap's blocks.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "kernel_control.h"
#include "stdlib/heap.h"
#include "stdlib/rand_state.h"
#include "vtest.h"

namespace {

constexpr int kNoNumber = 0;  // end offset of a text that holds no number

struct Signed { const char* text; int value; } const kAtoi[] = {
    {"42", 42}, {" \t\n-12x", -12}, {"+7", 7}, {"12 34", 12}, {"010", 10}, {"0x10", 0},
    {"\r5", 0}, {"\2405", 0},  // only tab, newline and space are blank
    {"+-5", 0}, {"--5", 0}, {"- 5", 0}, {"-", 0}, {"", 0},  // one sign, then digits
    {"2147483648", -2147483647 - 1}, {"-2147483649", 2147483647}, {"99999999999", 1215752191},
};

// strtoul's rows; strtol must give the same bits, signed, and the same end.
struct Unsigned { const char* text; int base; unsigned long value; int end; } const kStrtoul[] = {
    {"  42abc", 10, 42, 4}, {"9a", 10, 9, 1},
    // Detected base: 0x for 16, a leading 0 for 8 (the 0 itself is taken).
    {"0X1f", 0, 31, 4}, {"0x", 0, 0, 2}, {"017", 0, 15, 3}, {"08", 0, 0, 1}, {"19", 0, 19, 2},
    {"  0x10", 0, 16, 6}, {"0\0x1", 0, 0, 1},
    // Base 16 takes an optional prefix, other bases none; above 16 the digits stay those of 16.
    {"0x1F", 16, 31, 4}, {"0Xg", 16, 0, 2}, {"DeadBeefz", 16, 0xDEADBEEFul, 8}, {"0x1F", 36, 0, 1},
    {"1012", 2, 5, 3}, {"9", 9, 0, 0}, {"fg", 36, 15, 1}, {"10", 17, 17, 2}, {"000", 1, 0, 3}, {"  5", -10, 0, 2},
    {"-5", 10, 0, 0}, {" -5", 0, 0, 1},  // no sign is recognised
    // Wrap-around modulo 2^32, never clamped.
    {"4294967295", 10, 4294967295ul, 10}, {"123456789abcdef", 16, 0x89ABCDEFul, 15},
    // Blank: tab, newline, carriage return and space only.
    {"\t\n\r 7", 10, 7, 5}, {"\v5", 10, 0, 0}, {"", 10, 0, 0}, {"\2405", 10, 0, 0},
};

// Each text must give this value, compared as its ten stored bytes, and this end.
struct Float { const char* text; long double value; int end; } const kStrtold[] = {
    {"1.5", 1.5L, 3}, {"-.5e1", -5.0L, 5}, {"1.", 1.0L, 2}, {"12abc", 12.0L, 2}, {"+2.25", 2.25L, 5},
    {"  -0x1.8p1", -3.0L, 10}, {"0x.8", 0.5L, 4}, {"0X10", 16.0L, 4}, {"0xA.8P+1", 21.0L, 8},
    {"0xaf.9AF0p4", 0xaf9.af0p0L, 11}, {"1E3", 1000.0L, 3}, {"25e-2", 0.25L, 5}, {"0e99999", 0.0L, 7},
    {"1e", 1.0L, 1}, {"1e-x", 1.0L, 1}, {"0x1p", 1.0L, 3}, {"1p3", 1.0L, 1}, {"0x1e+3", 30.0L, 4},
    {"\v\f\r\n\t 4", 4.0L, 7}, {"9876543210", 9876543210.0L, 10},
    {"-0", -0.0L, 2}, {"-0x0p0", -0.0L, 6}, {"-0.000", -0.0L, 6},  // the sign is applied last
    // Scaling stops after 1024 steps (binary exponents are exact).
    {"0x1p5000", 0x1p1024L, 8}, {"0x1p-5000", 0x1p-1024L, 9}, {"0x1p1023", 0x1p1023L, 8},
    // Each operation rounds on its own, so these lie a unit or more from the nearest extended
    // value of the text ("123.456" and pi; the nearest end in ...b646 and ...c235). A written
    // exponent grows no further than 4096.
    {"123.456", 0xf6e978d4fdf3b645p-57L, 7}, {"0.1", 0xcccccccccccccccdp-67L, 3},
    {"3.14159265358979323846", 0xc90fdaa22168c233p-62L, 22}, {"1e1024", 0xc976758681750c15p3338L, 6},
    {"1e1025", 0xc976758681750c15p3338L, 6}, {"1e99999999999999999999", 0xc976758681750c15p3338L, 22},
    {"1e-1024", 0xa2a682a5da57c0c9p-3465L, 7}, {"1e-5000", 0xa2a682a5da57c0c9p-3465L, 7},
    // No number: positive zero, and the end at the text itself.
    {"0x", 0, kNoNumber}, {"0x.p1", 0, kNoNumber}, {".", 0, kNoNumber}, {"- 5", 0, kNoNumber},
    {"  .e1", 0, kNoNumber}, {"inf", 0, kNoNumber}, {"", 0, kNoNumber}, {"\2401", 0, kNoNumber},
};

// strtod rounds the result of strtold once more.
struct Double { const char* text; double value; int end; } const kStrtod[] = {
    {"1.5xyz", 1.5, 3}, {"0.1", 0.1, 3}, {"-1e5000", -__builtin_inf(), 7}, {"1e-5000", 0.0, 7}, {"-0", -0.0, 2},
};

void expect_strtold(const char* text, long double want, long end) {
  char* stop = reinterpret_cast<char*>(1);
  const long double got = strtold(text, &stop);
  vtest::name_case("strtold", text);
  EXPECT_BYTES(&got, &want, 10);
  EXPECT_EQ(stop - text, end);
}

bool all_bytes(const void* p, uint32_t n, unsigned char value) {
  for (uint32_t i = 0; i < n; ++i)
    if (static_cast<const unsigned char*>(p)[i] != value) return false;
  return true;
}

// Marks the next n bytes of free space (otherwise zero) to show which bytes a call wrote.
void poison_free_space(uint32_t n) { memset(g_heap + g_heap_used, 0xAA, n); }

}  // namespace

TEST(Stdlib, IntegerParsers) {
  for (const Signed& c : kAtoi) {
    vtest::name_case("atoi", c.text);
    EXPECT_EQ(atoi(c.text), c.value);
    EXPECT_EQ(atol(c.text), static_cast<long>(c.value));
  }
  for (const Unsigned& c : kStrtoul) {
    char *end = nullptr, *signed_end = nullptr;
    const unsigned long value = strtoul(c.text, &end, c.base);
    vtest::name_case("strtoul", c.text);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(end - c.text, c.end);
    EXPECT_TRUE(strtol(c.text, &signed_end, c.base) == static_cast<long>(c.value) && signed_end == end);
  }
  char* end = reinterpret_cast<char*>(1);
  EXPECT_EQ(strtoul(nullptr, &end, 10), 0ul);
  EXPECT_EQ(end, static_cast<char*>(nullptr));
  EXPECT_EQ(strtoul("  0x1F", nullptr, 0), 31ul);  // no end to store is fine on every path
  EXPECT_TRUE(strtol(nullptr, nullptr, 10) == 0 && atoi(nullptr) == 0);
  const int magnitudes[][2] = {{0, 0}, {-5, 5}, {2147483647, 2147483647}, {-2147483647 - 1, -2147483647 - 1}};
  for (const auto& m : magnitudes) EXPECT_TRUE(abs(m[0]) == m[1] && labs(m[0]) == m[1]);
}

TEST(Stdlib, FloatParsers) {
  for (const Float& c : kStrtold) expect_strtold(c.text, c.value, c.end);
  for (unsigned i = 0; i < sizeof kStrtod / sizeof *kStrtod; ++i) {
    char* end = nullptr;
    const double got = strtod(kStrtod[i].text, &end);
    vtest::at_row(i);
    EXPECT_BYTES(&got, &kStrtod[i].value, 8);
    EXPECT_EQ(end - kStrtod[i].text, kStrtod[i].end);
  }
  // Digits past the cap still enter the value: a 1 at fraction place 1025 is divided by 10
  // only 1024 times, the same steps as "1e-1024"; a hexadecimal one gives 16^-1024.
  static char text[4 + 1025 + 1];
  memcpy(text, "0x0.", 4);
  memset(text + 4, '0', 1024);
  text[4 + 1024] = '1';
  expect_strtold(text, 0x1p-4096L, 4 + 1025);
  expect_strtold(text + 2, 0xa2a682a5da57c0c9p-3465L, 2 + 1025);
  static char nines[5001];  // an integer part this long overflows to infinity
  memset(nines, '9', 5000);
  expect_strtold(nines, __builtin_infl(), 5000);
  char* end = reinterpret_cast<char*>(1);
  const double none = strtod(nullptr, &end), zero = 0.0;
  EXPECT_BYTES(&none, &zero, 8);
  EXPECT_EQ(end, static_cast<char*>(nullptr));
  expect_strtold(nullptr, 0.0L, 0);
}

// None of these calls the kernel or sets errno, rand's first call seeding itself included.
TEST(Stdlib, RandSequencesAndFunctionsWithoutSideEffects) {
  errno = 0;
  vtest::CallRecorder calls;
  strtoul("99999999999999999999", nullptr, 10);
  strtod("-1e5000", nullptr);
  rand();
  EXPECT_EQ(getenv("PATH"), static_cast<char*>(nullptr));  // no environment at all
  EXPECT_EQ(getenv(nullptr), static_cast<char*>(nullptr));
  // atexit reports success and keeps nothing: that exit runs no handler is shown end to end.
  EXPECT_EQ(atexit([] {}), 0);
  EXPECT_EQ(atexit(nullptr), 0);
  srand(0);  // acts as 1
  EXPECT_EQ(g_rand_state, 1u);
  const int after_one[] = {16838, 5758, 10113, 17515, 31051};
  for (int value : after_one) EXPECT_EQ(rand(), value);
  srand(42);
  EXPECT_EQ(rand(), 19081);
  EXPECT_EQ(rand(), 17033);
  srand(0xFFFFFFFFu);  // bit 31 of the state never reaches the result
  EXPECT_EQ(rand(), 15929);
  EXPECT_EQ(g_rand_state, 0xBE39E1CCu);
  EXPECT_EQ(calls.stop(), 0);
  EXPECT_EQ(errno, 0);
  // Run values whose mix cancels to 0 seed with 1, as srand(0) does.
  EXPECT_EQ(vornos::seed_from_run(1, 0, 0, 0x9E3779B8u), 1u);
}

// malloc (count -1), realloc of a 10-byte block (-2) or of null (-3), or calloc: where the
// block lies, its recorded size, the room it takes and its first bytes (the old block's, or
// zeros), past which nothing is written. Recorded size 0: it cannot fit and changes nothing.
TEST(Heap, BlocksAreAHeaderAndTheSizeRoundedToEight) {
  EXPECT_EQ(reinterpret_cast<uintptr_t>(g_heap) % 8, 0u);
  char* const old = static_cast<char*>(malloc(10));
  memcpy(old, "abcdefghij", 10);
  memset(malloc(12), 'Q', 12);  // lies after the old block and must not be copied
  const unsigned char zeros[16] = {};
  const struct { long count; size_t size; uint32_t recorded, room, filled; } rows[] = {
      {-1, 0, 1, 8, 0}, {-1, 4, 4, 8, 0}, {-1, 5, 5, 16, 0}, {-1, 12, 12, 16, 0}, {-1, 13, 13, 24, 0},
      {3, 5, 15, 24, 15}, {0, 10, 1, 8, 0}, {10, 0, 1, 8, 0},
      {0, 0xFFFFFFFFu, 1, 8, 0}, {-2, 100, 100, 104, 10}, {-2, 4, 4, 8, 4}, {-2, 0, 1, 8, 1},
      {-3, 10, 10, 16, 0}, {-1, 0x100000, 0, 0, 0}, {-1, 0xFFFFFFFFu, 0, 0, 0},
      {-1, 0xFFFFFFF5u, 0, 0, 0}, {-1, 0xFFFFFFFCu, 0, 0, 0},  // the rounded size would wrap
      {65536, 65536, 0, 0, 0}, {2, 0x80000000u, 0, 0, 0}, {1, 0xFFFFFFF5u, 0, 0, 0},
      {-2, 0x100000, 0, 0, 0}, {-3, 0xFFFFFFFFu, 0, 0, 0}};
  for (unsigned i = 0; i < sizeof rows / sizeof *rows; ++i) {
    const auto& r = rows[i];
    vtest::at_row(i);
    const uint32_t before = g_heap_used;
    poison_free_space(112);
    errno = 99;
    void* const block = r.count == -1 ? malloc(r.size) : r.count == -2 ? realloc(old, r.size)
                        : r.count == -3 ? realloc(nullptr, r.size) : calloc(r.count, r.size);
    auto* p = static_cast<unsigned char*>(block);
    EXPECT_EQ(g_heap_used - before, r.room);
    EXPECT_EQ(errno, r.recorded == 0 ? ENOMEM : 99);  // success leaves errno alone
    if (r.recorded == 0) {
      EXPECT_TRUE(p == nullptr && all_bytes(g_heap + before, 16, 0xAA));  // no header written
      continue;
    }
    EXPECT_TRUE(p == g_heap + before + 4);
    EXPECT_EQ(static_cast<const uint32_t*>(static_cast<void*>(p))[-1], r.recorded);
    EXPECT_BYTES(p, r.count == -2 ? static_cast<const void*>(old) : zeros, r.filled);
    EXPECT_TRUE(all_bytes(p + r.filled, r.room - 4 - r.filled, 0xAA));  // malloc does not clear
  }
  const uint32_t used = g_heap_used;
  free(nullptr);  // free gives nothing back, and leaves the block as it was
  free(old);
  free(old);
  EXPECT_EQ(g_heap_used, used);
  EXPECT_BYTES(old, "abcdefghij", 10);
}

namespace {

constexpr long long kLongLongMax = 9223372036854775807LL;
constexpr long long kLongLongMin = -kLongLongMax - 1;
constexpr unsigned long long kUnsignedMax = 18446744073709551615ULL;

// strtoll and strtoull read as the C standard says, unlike strtol: the value of each, and the
// end offset both share. An end of 0 means no conversion: the end is the text itself.
struct Wide { const char* text; int base; long long ll; unsigned long long ull; int end; } const kWide[] = {
    {"42", 10, 42, 42, 2}, {"-42", 10, -42, kUnsignedMax - 41, 3}, {"+7x", 10, 7, 7, 2},
    // All six isspace blanks are skipped (strtoul stops at \v and \f).
    {" \t\n\v\f\r-1", 10, -1, kUnsignedMax, 8},
    // Prefixes: 0x for base 0 and 16, octal 0 for base 0; "0x" without a hex digit is the 0.
    {"0x1F", 0, 31, 31, 4}, {"-0x10", 16, -16, kUnsignedMax - 15, 5}, {"017", 0, 15, 15, 3},
    {"0x", 0, 0, 0, 1}, {"0xg", 16, 0, 0, 1}, {"08", 0, 0, 0, 1}, {"0x1F", 10, 0, 0, 1},
    // Letters are digits up to the base, to z for 36; other bases convert nothing.
    {"zz", 36, 1295, 1295, 2}, {"Zz9", 36, 46629, 46629, 3}, {"1012", 2, 5, 5, 3},
    {"12", 1, 0, 0, 0}, {"12", 37, 0, 0, 0}, {"12", -2, 0, 0, 0},
    // No digits: no conversion, whatever blanks or sign came first.
    {"", 10, 0, 0, 0}, {"   ", 10, 0, 0, 0}, {" -", 10, 0, 0, 0}, {"+ 1", 10, 0, 0, 0}, {"--1", 10, 0, 0, 0},
    // The edges of each range, and clamping past them; every digit is read.
    {"9223372036854775807", 10, kLongLongMax, 9223372036854775807ULL, 19},
    {"9223372036854775808", 10, kLongLongMax, 9223372036854775808ULL, 19},
    {"-9223372036854775808", 10, kLongLongMin, 9223372036854775808ULL, 20},
    {"-9223372036854775809", 10, kLongLongMin, 9223372036854775807ULL, 20},
    {"18446744073709551615", 10, kLongLongMax, kUnsignedMax, 20},
    {"18446744073709551616", 10, kLongLongMax, kUnsignedMax, 20},
    {"-18446744073709551616", 10, kLongLongMin, kUnsignedMax, 21},
    {"99999999999999999999999x", 10, kLongLongMax, kUnsignedMax, 23},
    {"0xFFFFFFFFFFFFFFFF", 0, kLongLongMax, kUnsignedMax, 18},
    {"-0x8000000000000000", 0, kLongLongMin, 9223372036854775808ULL, 19},
};

int compare_ints(const void* a, const void* b) {
  const int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
  return (x > y) - (x < y);
}

// Sorts by the first byte only, so that records equal in key but not in content show that
// whole records move, not keys.
struct Record { char key; char payload[7]; };
int compare_keys(const void* a, const void* b) {
  return static_cast<const Record*>(a)->key - static_cast<const Record*>(b)->key;
}

}  // namespace

TEST(Stdlib, StandardWideParsers) {
  for (const Wide& c : kWide) {
    char *end = nullptr, *unsigned_end = nullptr;
    const long long value = strtoll(c.text, &end, c.base);
    const unsigned long long unsigned_value = strtoull(c.text, &unsigned_end, c.base);
    vtest::name_case("strtoll", c.text);
    EXPECT_EQ(value, c.ll);
    EXPECT_EQ(unsigned_value, c.ull);
    EXPECT_EQ(end - c.text, c.end);
    EXPECT_EQ(unsigned_end, end);
  }
  errno = 0;
  EXPECT_EQ(strtoll("99999999999999999999", nullptr, 10), kLongLongMax);
  EXPECT_EQ(errno, 0);  // only the heap sets errno in this library
  char* end = reinterpret_cast<char*>(1);
  EXPECT_EQ(strtoll(nullptr, &end, 10), 0ll);
  EXPECT_EQ(end, static_cast<char*>(nullptr));
}

TEST(Stdlib, QsortOrdersWholeElementsOfAnySize) {
  struct Ints { int values[12]; unsigned count; int sorted[12]; } const int_rows[] = {
      {{5, 3, 9, 1, 7}, 5, {1, 3, 5, 7, 9}},
      {{2, 2, 1, 1, 2, 1, 2}, 7, {1, 1, 1, 2, 2, 2, 2}},
      {{4}, 1, {4}},
      {{3, 1}, 0, {3, 1}},  // nothing to sort: untouched
  };
  for (unsigned i = 0; i < sizeof int_rows / sizeof *int_rows; ++i) {
    vtest::at_row(i);
    int values[13];
    memcpy(values, int_rows[i].values, sizeof int_rows[i].values);
    values[12] = 0x5a5a5a5a;  // a canary after the elements
    qsort(values, int_rows[i].count, sizeof *values, compare_ints);
    EXPECT_BYTES(values, int_rows[i].sorted, sizeof int_rows[i].sorted);
    EXPECT_EQ(values[12], 0x5a5a5a5a);
  }
  Record records[] = {{'c', "third"}, {'a', "first"}, {'d', "fourth"}, {'b', "second"}, {'a', "first"}};
  qsort(records, 5, sizeof *records, compare_keys);
  const Record sorted[] = {{'a', "first"}, {'a', "first"}, {'b', "second"}, {'c', "third"}, {'d', "fourth"}};
  EXPECT_BYTES(records, sorted, sizeof sorted);
  // A large reversed array, against the rule: element i holds i afterwards.
  static int many[1000];
  for (int i = 0; i < 1000; ++i) many[i] = 999 - i;
  qsort(many, 1000, sizeof *many, compare_ints);
  int misplaced = 0;
  for (int i = 0; i < 1000; ++i) misplaced += many[i] != i;
  EXPECT_EQ(misplaced, 0);
}

TEST(Stdlib, BsearchFindsEveryElementAndNothingElse) {
  const int sorted[] = {-7, -2, 0, 3, 8, 13, 21};
  for (unsigned count = 0; count <= 7; ++count) {
    vtest::at_row(count);
    for (unsigned i = 0; i < count; ++i) {
      EXPECT_EQ(bsearch(&sorted[i], sorted, count, sizeof *sorted, compare_ints), &sorted[i]);
    }
    const int absent[] = {-8, -3, 1, 9, 22, sorted[count < 7 ? count : 6] + 100};
    for (int key : absent) EXPECT_EQ(bsearch(&key, sorted, count, sizeof *sorted, compare_ints), static_cast<const void*>(nullptr));
  }
}
