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
    {"\r5", 0}, {"\v5", 0}, {"\2405", 0},  // only tab, newline and space are blank
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
    {"4294967295", 10, 4294967295ul, 10}, {"4294967297", 10, 1, 10}, {"123456789abcdef", 16, 0x89ABCDEFul, 15},
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
  if (!vtest::same_bytes(&got, &want, 10) || stop != text + end) vtest::name_case("strtold", text);
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
    if (atoi(c.text) != c.value || atol(c.text) != c.value) vtest::name_case("atoi", c.text);
    EXPECT_EQ(atoi(c.text), c.value);
    EXPECT_EQ(atol(c.text), static_cast<long>(c.value));
  }
  for (const Unsigned& c : kStrtoul) {
    char *end = nullptr, *signed_end = nullptr;
    const unsigned long value = strtoul(c.text, &end, c.base);
    if (value != c.value || end != c.text + c.end) vtest::name_case("strtoul", c.text);
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
  // atexit reports success and keeps nothing: exit runs no handler (shown end to end).
  EXPECT_EQ(atexit([] { vtest::print("an exit handler ran\n"); }), 0);
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
  // The self-seeding mix of the run's values; inputs that cancel to 0 give 1.
  using vornos::seed_from_run;
  EXPECT_EQ(seed_from_run(0, 0, 0, 0), 0x01FCE552u);
  EXPECT_EQ(seed_from_run(0x12345678u, 0x9ABCu, 0xBFFFF000u, 0x00412340u), 0x21D10EC8u);
  EXPECT_EQ(seed_from_run(1, 0, 0, 0x9E3779B8u), 1u);
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
      {-1, 100, 100, 104, 0}, {3, 5, 15, 24, 15}, {0, 10, 1, 8, 0}, {10, 0, 1, 8, 0},
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
