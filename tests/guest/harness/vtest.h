// A hermetic test framework for programs of the system: linked only with the runtime under
// test, it reports through the raw kernel-call gate, never through the printf it may test.
//   TEST(Snprintf, TruncatesAndCountsFullLength) { EXPECT_EQ(snprintf(b, 3, "%d", 12345), 5); }
// EXPECT_* records a failure and goes on; ASSERT_* also leaves the test. The program ends with
// "N passed, N failed", failing when a test failed or none ran. Tests register themselves in a
// linker section, since _start runs no constructors.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace vtest {

struct Case { const char* suite; const char* name; void (*run)(); };

// What a failed check knows of one operand, for the report (bytes: u of them at text).
struct Shown {
  enum class Kind { none, signed_int, unsigned_int, pointer, text, bytes } kind;
  int64_t s;
  uint64_t u;
  const char* text;
};

template <typename T>
inline Shown show(T value) {
  if constexpr (__is_pointer(T) || __is_same(T, decltype(nullptr))) {
    return {Shown::Kind::pointer, 0, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(value)), nullptr};
  } else if constexpr (__is_enum(T) || static_cast<T>(-1) < static_cast<T>(0)) {
    return {Shown::Kind::signed_int, static_cast<int64_t>(value), 0, nullptr};
  } else {
    return {Shown::Kind::unsigned_int, 0, static_cast<uint64_t>(value), nullptr};
  }
}

// Reports a failed check, with its operands when given.
void report_failure(const char* file, int line, const char* check, const Shown& actual = {},
                    const Shown& expected = {});
bool same_text(const char* a, const char* b);
bool same_bytes(const void* a, const void* b, size_t n);
void check_text(const char* file, int line, const char* check, const char* actual,
                const char* expected);
void check_bytes(const char* file, int line, const char* check, const void* actual,
                 const void* expected, size_t n);

// Names the table row whose checks follow, until the next row or the test's end: a failure
// among them is preceded by `function case "text"` (once per row). `text` must outlive it.
void name_case(const char* function, const char* text);
// Marks the failures that follow, until the test ends, as those of table row `index`.
void at_row(unsigned index);

}  // namespace vtest

#define VTEST_CASE_NAME(suite, name) vtest_case_##suite##_##name
#define TEST(suite, name)                                                              \
  static void VTEST_CASE_NAME(suite, name##_run)();                                    \
  [[gnu::used, gnu::retain, gnu::section("vtest_cases")]] static const ::vtest::Case \
      VTEST_CASE_NAME(suite, name) = {#suite, #name, VTEST_CASE_NAME(suite, name##_run)}; \
  static void VTEST_CASE_NAME(suite, name##_run)()

#define VTEST_COMPARE(actual, expected, op, check, on_fail)                                 \
  do {                                                                                 \
    const auto& vtest_a = (actual);                                                    \
    const auto& vtest_e = (expected);                                                  \
    if (!(vtest_a op vtest_e)) {                                                       \
      ::vtest::report_failure(__FILE__, __LINE__, check "(" #actual ", " #expected ")",   \
                              ::vtest::show(vtest_a), ::vtest::show(vtest_e));         \
      on_fail;                                                                         \
    }                                                                                  \
  } while (0)

#define EXPECT_EQ(a, e) VTEST_COMPARE(a, e, ==, "EXPECT_EQ", (void)0)
#define EXPECT_LT(a, e) VTEST_COMPARE(a, e, <, "EXPECT_LT", (void)0)
#define EXPECT_GE(a, e) VTEST_COMPARE(a, e, >=, "EXPECT_GE", (void)0)
#define ASSERT_EQ(a, e) VTEST_COMPARE(a, e, ==, "ASSERT_EQ", return)
#define ASSERT_NE(a, e) VTEST_COMPARE(a, e, !=, "ASSERT_NE", return)

#define VTEST_TRUTH(cond, want, check, on_fail)                        \
  do {                                                                 \
    if (static_cast<bool>(cond) == (want)) break;                      \
    ::vtest::report_failure(__FILE__, __LINE__, check "(" #cond ")");  \
    on_fail;                                                           \
  } while (0)
#define EXPECT_TRUE(c) VTEST_TRUTH(c, true, "EXPECT_TRUE", (void)0)
#define ASSERT_TRUE(c) VTEST_TRUTH(c, true, "ASSERT_TRUE", return)

// Strings compared up to their NUL (a null pointer equals only a null pointer); exactly n
// bytes, shown in hex on failure (for outputs with NUL bytes, canaries, records).
#define EXPECT_STREQ(a, e) \
  ::vtest::check_text(__FILE__, __LINE__, "EXPECT_STREQ(" #a ", " #e ")", (a), (e))
#define EXPECT_BYTES(a, e, n) \
  ::vtest::check_bytes(__FILE__, __LINE__, "EXPECT_BYTES(" #a ", " #e ", " #n ")", (a), (e), (n))
