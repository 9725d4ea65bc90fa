// The test runner: runs every registered case, reports failures, ends with the tally.
#include "vtest.h"

#include "kernel_control.h"
#include "vornos/kernel_call.h"

// Bounds of the section that TEST() fills; the linker defines them.
extern "C" const vtest::Case __start_vtest_cases[];
extern "C" const vtest::Case __stop_vtest_cases[];

namespace vtest {
namespace {

using vornos::test_control::Op;

// Failure text is collected while a test runs (its output may be captured) and written out
// when the test is over.
char s_report[16 * 1024];
uint32_t s_report_len;
bool s_failed;

void flush() {
  uint32_t done = 0;
  while (done < s_report_len) {
    const int32_t n = vornos::kernel_call(SYS_write, 1, s_report + done, s_report_len - done);
    if (n <= 0) break;
    done += static_cast<uint32_t>(n);
  }
  s_report_len = 0;
}

void put(const char* text) {
  while (*text != '\0' && s_report_len < sizeof s_report) s_report[s_report_len++] = *text++;
}

void put_unsigned(uint64_t value, unsigned base) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = "0123456789abcdef"[value % base];
    value /= base;
  } while (value != 0);
  char text[26];
  int at = 0;
  if (base == 16) {
    text[at++] = '0';
    text[at++] = 'x';
  }
  while (n > 0) text[at++] = digits[--n];
  text[at] = '\0';
  put(text);
}

void put_int(int64_t value) {
  if (value < 0) {
    put("-");
    put_unsigned(0 - static_cast<uint64_t>(value), 10);
  } else {
    put_unsigned(static_cast<uint64_t>(value), 10);
  }
}

// Text is shown quoted with control and high bytes escaped, and cut after 200 bytes.
void put_quoted(const char* text) {
  if (text == nullptr) {
    put("(null pointer)");
    return;
  }
  put("\"");
  for (int i = 0; text[i] != '\0'; ++i) {
    if (i == 200) {
      put("\"...");
      return;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      const char one[2] = {static_cast<char>(c), '\0'};
      put(one);
    } else {
      put("\\x");
      const char hex[3] = {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15], '\0'};
      put(hex);
    }
  }
  put("\"");
}

void put_shown(const Shown& v) {
  switch (v.kind) {
    case Shown::Kind::signed_int:
      put_int(v.s);
      if (v.s < 0 || v.s > 9) {
        put(" (");
        put_unsigned(static_cast<uint64_t>(v.s), 16);
        put(")");
      }
      break;
    case Shown::Kind::unsigned_int:
      put_unsigned(v.u, 10);
      if (v.u > 9) {
        put(" (");
        put_unsigned(v.u, 16);
        put(")");
      }
      break;
    case Shown::Kind::pointer:
      put_unsigned(v.u, 16);
      break;
    case Shown::Kind::text:
      put_quoted(v.text);
      break;
  }
}

void put_location(const char* file, int line, const char* check) {
  s_failed = true;
  put("  FAILED ");
  put(file);
  put(":");
  put_int(line);
  put(": ");
  put(check);
}

// Leaves the kernel as a fresh test expects it: no recording, no capture, no scripts.
void reset_kernel_state() {
  control(Op::record_stop, 0, 0);
  control(Op::capture_stop, 0, 0);
  control(Op::script_clear);
}

}  // namespace

void report_failure(const char* file, int line, const char* check, const Shown& actual,
                    const Shown& expected) {
  put_location(file, line, check);
  put("\n    actual:   ");
  put_shown(actual);
  put("\n    expected: ");
  put_shown(expected);
  put("\n");
}

void report_failure(const char* file, int line, const char* check) {
  put_location(file, line, check);
  put("\n");
}

bool same_text(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

bool same_bytes(const void* a, const void* b, size_t n) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < n; ++i)
    if (x[i] != y[i]) return false;
  return true;
}

void report_bytes_failure(const char* file, int line, const char* check, const void* actual,
                          const void* expected, size_t n) {
  put_location(file, line, check);
  const unsigned char* rows[2] = {static_cast<const unsigned char*>(actual),
                                  static_cast<const unsigned char*>(expected)};
  const char* labels[2] = {"\n    actual:  ", "\n    expected:"};
  for (int r = 0; r < 2; ++r) {
    put(labels[r]);
    for (size_t i = 0; i < n && i < 64; ++i) {
      const char hex[4] = {' ', "0123456789abcdef"[rows[r][i] >> 4],
                           "0123456789abcdef"[rows[r][i] & 15], '\0'};
      put(hex);
    }
    if (n > 64) put(" ...");
  }
  put("\n");
}

void print(const char* text) {
  put(text);
  flush();
}

void name_case(const char* function, const char* text) {
  put(function);
  put(" case ");
  put_quoted(text);
  put("\n");
}

}  // namespace vtest

int main() {
  using namespace vtest;
  // Without the runner's test hooks nothing here could be checked: say so and fail.
  if (control(Op::script_clear) == -38) {
    print("these tests need the stand-in kernel's test hooks: vornos-run --test-hooks PROGRAM\n");
    return 2;
  }
  int passed = 0;
  int failed = 0;
  for (const Case* c = __start_vtest_cases; c != __stop_vtest_cases; ++c) {
    s_failed = false;
    c->run();
    reset_kernel_state();
    if (s_failed) {
      ++failed;
      put("[  FAILED  ] ");
    } else {
      ++passed;
      put("[       OK ] ");
    }
    put(c->suite);
    put(".");
    put(c->name);
    put("\n");
    flush();
  }
  put_int(passed);
  put(" passed, ");
  put_int(failed);
  put(" failed\n");
  flush();
  return failed == 0 && passed > 0 ? 0 : 1;
}
