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
    {"42", 42}, {" \t\n-12x", -12}, {"+7", 7}, {"-0", 0}, {"007", 7}, {"12 34", 12}, {"1e5", 1},
    {"\r5", 0}, {"\v5", 0}, {"\f5", 0}, {"\2405", 0},  // only tab, newline and space are blank
    {"+-5", 0}, {"-+5", 0}, {"--5", 0}, {"- 5", 0}, {"-", 0}, {"+", 0}, {"", 0}, {"   ", 0},
    {"x5", 0}, {"0x10", 0}, {"010", 10},                // one sign, no base prefix
    {"2147483647", 2147483647}, {"2147483648", -2147483647 - 1}, {"-2147483649", 2147483647},
    {"4294967295", -1}, {"4294967297", 1}, {"-4294967297", -1}, {"99999999999", 1215752191},
};

// strtoul's rows; strtol must give the same bits, signed, and the same end.
struct Unsigned { const char* text; int base; unsigned long value; int end; } const kStrtoul[] = {
    {"  42abc", 10, 42, 4}, {"0", 10, 0, 1}, {"007", 10, 7, 3}, {"12 34", 10, 12, 2}, {"9a", 10, 9, 1},
    // Detected base: 0x for 16, a leading 0 for 8 (the 0 itself is taken).
    {"0x1F", 0, 31, 4}, {"0X1f", 0, 31, 4}, {"0x", 0, 0, 2}, {"0xg", 0, 0, 2}, {"017", 0, 15, 3},
    {"08", 0, 0, 1}, {"00", 0, 0, 2}, {"0778", 0, 63, 3}, {"19", 0, 19, 2}, {"x1", 0, 0, 0},
    {"  0x10", 0, 16, 6}, {"0\0x1", 0, 0, 1}, {"12\0" "34", 10, 12, 2},
    // Base 16 takes an optional prefix, other bases none; above 16 the digits stay those of 16.
    {"0x1F", 16, 31, 4}, {"1F", 16, 31, 2}, {"0Xg", 16, 0, 2}, {"DeadBeefz", 16, 0xDEADBEEFul, 8},
    {"0x1F", 10, 0, 1}, {"0x1F", 8, 0, 1}, {"0x1F", 36, 0, 1}, {"777", 8, 511, 3}, {"1012", 2, 5, 3},
    {"zz", 36, 0, 0}, {"fg", 36, 15, 1}, {"10", 17, 17, 2}, {"10", 36, 36, 2}, {"AF", 16, 175, 2},
    {"111", 1, 0, 0}, {"000", 1, 0, 3}, {"5", -1, 0, 0}, {"  5", -10, 0, 2},
    {"-5", 10, 0, 0}, {"+5", 10, 0, 0}, {" -5", 0, 0, 1},  // no sign is recognised
    // Wrap-around modulo 2^32, never clamped.
    {"4294967295", 10, 4294967295ul, 10}, {"4294967296", 10, 0, 10}, {"4294967297", 10, 1, 10},
    {"99999999999", 10, 1215752191ul, 11}, {"123456789abcdef", 16, 0x89ABCDEFul, 15},
    // Blank: tab, newline, carriage return and space only.
    {"\t\n\r 7", 10, 7, 5}, {"\v5", 10, 0, 0}, {"\f5", 10, 0, 0}, {" \v5", 10, 0, 1},
    {"   ", 10, 0, 3}, {"", 10, 0, 0}, {"\2405", 10, 0, 0}, {"5\xff", 16, 5, 1},
};

// The x87 extended format as stored: 64-bit significand, then sign and 15-bit exponent.
struct Extended {
  uint64_t significand;
  uint16_t sign_exponent;
  bool operator==(const Extended&) const = default;
};
Extended bits_of(long double value) {
  Extended bits;
  memcpy(&bits.significand, &value, 8);
  memcpy(&bits.sign_exponent, reinterpret_cast<const char*>(&value) + 8, 2);
  return bits;
}
uint64_t bits_of(double value) {
  uint64_t bits;
  memcpy(&bits, &value, 8);
  return bits;
}
constexpr uint64_t kOne = 0x8000000000000000ull;  // the significand of a power of two

// Values exact in the extended format: each text must give these bits and this end.
struct Float { const char* text; long double value; int end; } const kStrtold[] = {
    {"1.5", 1.5L, 3}, {"-.5e1", -5.0L, 5}, {"1.", 1.0L, 2}, {"1.e2", 100.0L, 4}, {"12abc", 12.0L, 2},
    {"  -0x1.8p1", -3.0L, 10}, {"0x.8", 0.5L, 4}, {"0x1p-2", 0.25L, 6}, {"0X10", 16.0L, 4},
    {"0x1e", 30.0L, 4}, {"0xA.8P+1", 21.0L, 8}, {"0xaf.9AF0p4", 0xaf9.af0p0L, 11}, {"+2.25", 2.25L, 5},
    {"1E3", 1000.0L, 3}, {"25e-2", 0.25L, 5}, {"0e99999", 0.0L, 7}, {"1e", 1.0L, 1}, {"1e+", 1.0L, 1},
    {"1e-x", 1.0L, 1}, {"0x1p", 1.0L, 3}, {"0x1P+", 1.0L, 3}, {"1p3", 1.0L, 1}, {"0x1e+3", 30.0L, 4},
    {"1.5e3.5", 1500.0L, 5}, {"\v\f\r\n\t 4", 4.0L, 7}, {"9876543210", 9876543210.0L, 10},
    {"-0", -0.0L, 2}, {"-0x0p0", -0.0L, 6}, {"-0.000", -0.0L, 6},  // the sign is applied last
    // Scaling stops after 1024 steps (binary exponents are exact).
    {"0x1p5000", 0x1p1024L, 8}, {"0x1p-5000", 0x1p-1024L, 9}, {"0x1p1023", 0x1p1023L, 8},
    {"0x1p-1023", 0x1p-1023L, 9},
    // No number: positive zero, and the end at the text itself.
    {"0x", 0, kNoNumber}, {"0xg", 0, kNoNumber}, {"0x.", 0, kNoNumber}, {"0x.p1", 0, kNoNumber},
    {"   0x", 0, kNoNumber}, {"-0x", 0, kNoNumber}, {".", 0, kNoNumber}, {"+", 0, kNoNumber},
    {"-", 0, kNoNumber}, {"- 5", 0, kNoNumber}, {"+-5", 0, kNoNumber}, {"  .e1", 0, kNoNumber},
    {"inf", 0, kNoNumber}, {"nan", 0, kNoNumber}, {"", 0, kNoNumber}, {"\2401", 0, kNoNumber},
};

// Each operation rounds on its own, so these lie a unit or more from the nearest extended
// value of the text ("123.456" and pi; the nearest end in ...b646 and ...c235). Scaling
// stops after 1024 steps, and a written exponent grows no further than 4096.
const Extended kRounded[] = {
    {0xf6e978d4fdf3b645, 0x4005}, {0xcccccccccccccccd, 0x3ffb}, {0xc90fdaa22168c233, 0x4000},
    {0xc976758681750c15, 0x4d48}, {0xc976758681750c15, 0x4d48}, {0xc976758681750c15, 0x4d48},
    {0xa2a682a5da57c0c9, 0x32b5}, {0xa2a682a5da57c0c9, 0x32b5},
};
const char* const kRoundedTexts[] = {"123.456", "0.1", "3.14159265358979323846", "1e1024", "1e1025",
                                     "1e99999999999999999999", "1e-1024", "1e-5000"};

uint32_t recorded_size(const void* payload) { return static_cast<const uint32_t*>(payload)[-1]; }

// Marks the next n bytes of free space, so that a test can tell which bytes an operation
// wrote: fresh heap space is otherwise all zero.
void poison_free_space(uint32_t n) { memset(g_heap + g_heap_used, 0xAA, n); }

bool all_bytes(const void* p, uint32_t n, unsigned char value) {
  for (uint32_t i = 0; i < n; ++i)
    if (static_cast<const unsigned char*>(p)[i] != value) return false;
  return true;
}

}  // namespace

TEST(Stdlib, IntegerParsers) {
  for (const Signed& c : kAtoi) {
    if (atoi(c.text) != c.value || atol(c.text) != c.value) vtest::name_case("atoi", c.text);
    EXPECT_EQ(atoi(c.text), c.value);
    EXPECT_EQ(atol(c.text), static_cast<long>(c.value));
  }
  for (const Unsigned& c : kStrtoul) {
    char* end = nullptr;
    char* signed_end = nullptr;
    const unsigned long value = strtoul(c.text, &end, c.base);
    const long signed_value = strtol(c.text, &signed_end, c.base);
    if (value != c.value || end != c.text + c.end) vtest::name_case("strtoul", c.text);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(end - c.text, c.end);
    EXPECT_EQ(signed_value, static_cast<long>(c.value));
    EXPECT_EQ(signed_end, end);
  }
  char* end = reinterpret_cast<char*>(1);
  EXPECT_EQ(strtoul(nullptr, &end, 10), 0ul);
  EXPECT_EQ(end, static_cast<char*>(nullptr));
  EXPECT_EQ(strtoul("  0x1F", nullptr, 0), 31ul);  // no end to store is fine on every path
  EXPECT_EQ(strtol(nullptr, nullptr, 10), 0L);
  EXPECT_EQ(atoi(nullptr), 0);
  const int magnitudes[][2] = {{0, 0}, {5, 5}, {-5, 5}, {2147483647, 2147483647},
                               {-2147483647, 2147483647}, {-2147483647 - 1, -2147483647 - 1}};
  for (const auto& m : magnitudes) {
    EXPECT_EQ(abs(m[0]), m[1]);
    EXPECT_EQ(labs(m[0]), static_cast<long>(m[1]));
  }
}

TEST(Stdlib, FloatParsers) {
  for (const Float& c : kStrtold) {
    char* end = reinterpret_cast<char*>(1);
    const Extended got = bits_of(strtold(c.text, &end));
    const Extended want = bits_of(c.value);
    if (!(got == want) || end != c.text + c.end) vtest::name_case("strtold", c.text);
    EXPECT_EQ(got.significand, want.significand);
    EXPECT_EQ(got.sign_exponent, want.sign_exponent);
    EXPECT_EQ(end - c.text, c.end);
  }
  for (int i = 0; i < 8; ++i) {
    char* end = nullptr;
    vtest::at_row(i);
    EXPECT_TRUE(bits_of(strtold(kRoundedTexts[i], &end)) == kRounded[i]);
    EXPECT_EQ(end, kRoundedTexts[i] + strlen(kRoundedTexts[i]));
  }
  // Digits past the cap still enter the value: a 1 at fraction place 1025 is divided by 10
  // only 1024 times, the same steps as "1e-1024"; a hexadecimal one gives 16^-1024.
  static char text[4 + 1025 + 1];
  memcpy(text, "0x0.", 4);
  memset(text + 4, '0', 1024);
  text[4 + 1024] = '1';
  char* end = nullptr;
  EXPECT_TRUE(bits_of(strtold(text, &end)) == (Extended{kOne, 0x3fff - 4096}));
  EXPECT_EQ(end, text + 4 + 1025);
  EXPECT_TRUE(bits_of(strtold(text + 2, &end)) == bits_of(strtold("1e-1024", nullptr)));
  EXPECT_EQ(end, text + 4 + 1025);
  static char nines[5001];  // an integer part this long overflows to infinity
  memset(nines, '9', 5000);
  EXPECT_TRUE(bits_of(strtold(nines, &end)) == (Extended{kOne, 0x7fff}));
  EXPECT_EQ(end, nines + 5000);
  // strtod rounds the same result once more.
  const char* const tail = "1.5xyz";
  EXPECT_EQ(bits_of(strtod(tail, &end)), 0x3ff8000000000000ull);
  EXPECT_EQ(end, tail + 3);
  EXPECT_EQ(bits_of(strtod("0.1", nullptr)), 0x3fb999999999999aull);
  EXPECT_EQ(bits_of(strtod("-1e5000", nullptr)), 0xfff0000000000000ull);
  EXPECT_EQ(bits_of(strtod("1e-5000", nullptr)), 0u);
  EXPECT_EQ(bits_of(strtod("-0", nullptr)), 0x8000000000000000ull);
  end = reinterpret_cast<char*>(1);
  EXPECT_EQ(bits_of(strtod(nullptr, &end)), 0u);
  EXPECT_EQ(end, static_cast<char*>(nullptr));
  EXPECT_EQ(bits_of(strtold(nullptr, nullptr)).significand, 0u);
  EXPECT_EQ(bits_of(strtold("x", nullptr)).significand, 0u);
  EXPECT_EQ(bits_of(strtold("2", nullptr)).sign_exponent, 0x4000u);
}

TEST(Stdlib, PureFunctionsLeaveErrnoAndTheKernelAlone) {
  errno = 0;
  vtest::CallRecorder calls;
  EXPECT_EQ(atoi("99999999999"), 1215752191);
  strtoul("99999999999999999999", nullptr, 10);
  strtold("1e5000", nullptr);
  strtod("-1e5000", nullptr);
  srand(3);
  rand();
  EXPECT_EQ(getenv("PATH"), static_cast<char*>(nullptr));  // no environment at all
  EXPECT_EQ(getenv(nullptr), static_cast<char*>(nullptr));
  strerror(12);
  // atexit reports success and keeps nothing: exit runs no handler (shown end to end).
  EXPECT_EQ(atexit([] { vtest::print("an exit handler ran\n"); }), 0);
  EXPECT_EQ(atexit(nullptr), 0);
  EXPECT_EQ(calls.stop(), 0);
  EXPECT_EQ(errno, 0);
}

TEST(Stdlib, RandSequences) {
  const int after_one[] = {16838, 5758, 10113, 17515, 31051};
  const unsigned seeds[] = {1, 0};  // 0 acts as 1
  for (unsigned seed : seeds) {
    srand(seed);
    EXPECT_EQ(g_rand_state, 1u);
    for (int value : after_one) EXPECT_EQ(rand(), value);
  }
  srand(42);
  EXPECT_EQ(rand(), 19081);
  EXPECT_EQ(rand(), 17033);
  srand(42);  // restarts the sequence
  EXPECT_EQ(rand(), 19081);
  srand(0xFFFFFFFFu);  // bit 31 of the state never reaches the result
  EXPECT_EQ(rand(), 15929);
  EXPECT_EQ(g_rand_state, 0xBE39E1CCu);
  int lowest = RAND_MAX;
  int highest = 0;
  for (int i = 0; i < 100000; ++i) {
    const int value = rand();
    if (value < lowest) lowest = value;
    if (value > highest) highest = value;
  }
  EXPECT_GE(lowest, 0);
  EXPECT_LT(lowest, 16);
  EXPECT_LE(highest, RAND_MAX);
  EXPECT_GT(highest, RAND_MAX - 16);
  // The self-seeding mix of the run's values; inputs that cancel to 0 give 1.
  using vornos::seed_from_run;
  EXPECT_EQ(seed_from_run(0, 0, 0, 0), 0x01FCE552u);
  EXPECT_EQ(seed_from_run(0x12345678u, 0x9ABCu, 0xBFFFF000u, 0x00412340u), 0x21D10EC8u);
  EXPECT_EQ(seed_from_run(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), 0x2C382376u);
  EXPECT_EQ(seed_from_run(1, 0, 0, 0x9E3779B8u), 1u);
}

TEST(Heap, BlocksAreAHeaderAndTheSizeRoundedToEight) {
  EXPECT_EQ(reinterpret_cast<uintptr_t>(g_heap) % 8, 0u);
  const size_t sizes[][3] = {{0, 1, 8},   {1, 1, 8},   {4, 4, 8},   {5, 5, 16},    {12, 12, 16},
                             {13, 13, 24}, {20, 20, 24}, {21, 21, 32}, {100, 100, 104}};
  errno = 99;
  for (const auto& s : sizes) {  // size, recorded size, footprint
    const uint32_t before = g_heap_used;
    poison_free_space(s[2]);
    unsigned char* p = static_cast<unsigned char*>(malloc(s[0]));
    EXPECT_TRUE(p == g_heap + before + 4);
    EXPECT_EQ(recorded_size(p), s[1]);
    EXPECT_EQ(g_heap_used - before, s[2]);
    EXPECT_TRUE(all_bytes(p, s[2] - 4, 0xAA));  // malloc does not clear
  }
  EXPECT_EQ(errno, 99);  // success leaves errno alone
}

TEST(Heap, Calloc) {
  const size_t shapes[][4] = {  // count, size, recorded size, bytes cleared
      {3, 5, 15, 15}, {0, 10, 1, 0}, {10, 0, 1, 0}, {0, 0xFFFFFFFFu, 1, 0}, {1, 4, 4, 4}};
  errno = 99;
  for (const auto& s : shapes) {
    poison_free_space(24);
    const uint32_t before = g_heap_used;
    unsigned char* p = static_cast<unsigned char*>(calloc(s[0], s[1]));
    EXPECT_TRUE(p == g_heap + before + 4);
    EXPECT_EQ(recorded_size(p), s[2]);
    EXPECT_TRUE(all_bytes(p, s[3], 0));
    EXPECT_TRUE(all_bytes(p + s[3], 4, 0xAA));  // nothing past the product
  }
  EXPECT_EQ(errno, 99);
}

TEST(Heap, RequestsThatCannotFitChangeNothing) {
  const size_t requests[][2] = {  // count 0: a malloc of the size
      {0, 0x100000}, {0, 0xFFFFFFFFu}, {0, 0xFFFFFFF5u}, {0, 0xFFFFFFFCu},
      {65536, 65536}, {2, 0x80000000u}, {0x10001, 0x10001}, {1, 0xFFFFFFF5u}};
  for (const auto& r : requests) {
    const uint32_t before = g_heap_used;
    poison_free_space(16);
    errno = 0;
    EXPECT_TRUE((r[0] == 0 ? malloc(r[1]) : calloc(r[0], r[1])) == nullptr);
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_EQ(g_heap_used, before);
    EXPECT_TRUE(all_bytes(g_heap + before, 16, 0xAA));  // no header was written
  }
  errno = 0;
  EXPECT_TRUE(realloc(nullptr, 0xFFFFFFFFu) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
}

TEST(Heap, ReallocTakesAFreshBlockAndCopiesTheShorterSize) {
  char* old = static_cast<char*>(malloc(10));
  memcpy(old, "abcdefghij", 10);
  memset(malloc(12), 'Q', 12);  // lies after the old block and must not be copied
  const size_t sizes[][3] = {{100, 100, 10}, {4, 4, 4}, {10, 10, 10}, {0, 1, 1}};
  errno = 99;
  for (const auto& s : sizes) {  // new size, recorded size, bytes copied
    poison_free_space(112);
    const uint32_t before = g_heap_used;
    char* fresh = static_cast<char*>(realloc(old, s[0]));
    EXPECT_TRUE(fresh == reinterpret_cast<char*>(g_heap) + before + 4);
    EXPECT_EQ(recorded_size(fresh), s[1]);
    EXPECT_BYTES(fresh, "abcdefghij", s[2]);
    EXPECT_TRUE(all_bytes(fresh + s[2], 4, 0xAA));
  }
  EXPECT_BYTES(old, "abcdefghij", 10);  // the old block stays as it was
  const uint32_t before = g_heap_used;
  char* fresh = static_cast<char*>(realloc(nullptr, 10));  // of null: a malloc
  EXPECT_TRUE(fresh == reinterpret_cast<char*>(g_heap) + before + 4);
  EXPECT_EQ(g_heap_used - before, 16u);
  EXPECT_EQ(errno, 99);
  errno = 0;
  EXPECT_TRUE(realloc(old, 0x100000) == nullptr);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(g_heap_used - before, 16u);
  free(nullptr);  // free gives nothing back
  free(old);
  free(old);
  EXPECT_EQ(g_heap_used - before, 16u);
  EXPECT_BYTES(old, "abcdefghij", 10);
}
