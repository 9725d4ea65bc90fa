// The test runner (runs every registered case, reports failures, ends with the tally) and the
// guest side of the stand-in kernel's test-control call.
#include "vtest.h"

#include "kernel_control.h"
#include "vornos/kernel_call.h"

// Bounds of the section that TEST() fills; the linker defines them.
extern "C" const vtest::Case __start_vtest_cases[];
extern "C" const vtest::Case __stop_vtest_cases[];

namespace vtest {
namespace {

using vornos::test_control::AnswerKind;
using vornos::test_control::Op;

// Failure text is collected while a test runs (its output may be captured) and written out
// when the test is over.
char s_report[16 * 1024];
uint32_t s_report_len;
bool s_failed;
int64_t s_row = -1;
const char* s_case_function;  // the row named by name_case, shown before its first failure
const char* s_case_text;
constexpr char kHex[] = "0123456789abcdef";

// The raw control call; a program not run with --test-hooks gets -38 for it.
int32_t control(Op op, uint32_t a = 0, uint32_t b = 0) {
  return vornos::kernel_call(vornos::test_control::kCallNumber, static_cast<uint32_t>(op), a, b);
}

void flush() {
  for (uint32_t done = 0; done < s_report_len;) {
    const int32_t n = vornos::kernel_call(SYS_write, 1, s_report + done, s_report_len - done);
    if (n <= 0) break;
    done += static_cast<uint32_t>(n);
  }
  s_report_len = 0;
}

void put(const char* text) {
  while (*text != '\0' && s_report_len < sizeof s_report) s_report[s_report_len++] = *text++;
}

void print(const char* text) {
  put(text);
  flush();
}

void put_unsigned(uint64_t value, unsigned base) {
  char text[24] = {};
  int at = 22;
  do {
    text[at--] = kHex[value % base];
    value /= base;
  } while (value != 0);
  if (base == 16) put("0x");
  put(text + at + 1);
}

void put_int(int64_t value) {
  if (value < 0) put("-");
  put_unsigned(value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value), 10);
}

// Text is shown quoted with control and high bytes escaped (the report's size bounds it).
void put_quoted(const char* text) {
  if (text == nullptr) return put("(null pointer)");
  put("\"");
  for (; *text != '\0'; ++text) {
    const unsigned char c = static_cast<unsigned char>(*text);
    const char plain[2] = {static_cast<char>(c), '\0'};
    const char escaped[5] = {'\\', 'x', kHex[c >> 4], kHex[c & 15], '\0'};
    put(c >= 0x20 && c < 0x7f && c != '"' && c != '\\' ? plain : escaped);
  }
  put("\"");
}

// Integers in decimal with their hex beside them when it differs; bytes in hex, at most 64.
void put_shown(const Shown& v) {
  if (v.kind == Shown::Kind::text) return put_quoted(v.text);
  for (uint64_t i = 0; v.kind == Shown::Kind::bytes && i < v.u && i < 64; ++i) {
    const unsigned char c = static_cast<unsigned char>(v.text[i]);
    const char hex[4] = {' ', kHex[c >> 4], kHex[c & 15], '\0'};
    put(hex);
  }
  if (v.kind == Shown::Kind::bytes) return put(v.u > 64 ? " ..." : "");
  if (v.kind == Shown::Kind::signed_int) put_int(v.s);
  if (v.kind != Shown::Kind::signed_int) put_unsigned(v.u, v.kind == Shown::Kind::pointer ? 16 : 10);
  const uint64_t bits = v.kind == Shown::Kind::signed_int ? static_cast<uint64_t>(v.s) : v.u;
  if (v.kind != Shown::Kind::pointer && bits > 9) put(" ("), put_unsigned(bits, 16), put(")");
}

}  // namespace

void report_failure(const char* file, int line, const char* check, const Shown& actual,
                    const Shown& expected) {
  s_failed = true;
  if (s_case_function != nullptr) put(s_case_function), put(" case "), put_quoted(s_case_text), put("\n");
  s_case_function = nullptr;
  put("  FAILED "), put(file), put(":"), put_int(line);
  if (s_row >= 0) put(" row "), put_int(s_row);
  put(": "), put(check);
  if (actual.kind != Shown::Kind::none) {
    put("\n    actual:   "), put_shown(actual);
    put("\n    expected: "), put_shown(expected);
  }
  put("\n");
}

bool same_text(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

bool same_bytes(const void* a, const void* b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (static_cast<const unsigned char*>(a)[i] != static_cast<const unsigned char*>(b)[i]) return false;
  return true;
}

void check_text(const char* file, int line, const char* check, const char* actual,
                const char* expected) {
  if (!same_text(actual, expected))
    report_failure(file, line, check, {Shown::Kind::text, 0, 0, actual}, {Shown::Kind::text, 0, 0, expected});
}

void check_bytes(const char* file, int line, const char* check, const void* actual,
                 const void* expected, size_t n) {
  if (!same_bytes(actual, expected, n))
    report_failure(file, line, check, {Shown::Kind::bytes, 0, n, static_cast<const char*>(actual)},
                   {Shown::Kind::bytes, 0, n, static_cast<const char*>(expected)});
}

void name_case(const char* function, const char* text) {
  s_case_function = function;
  s_case_text = text;
}

void at_row(unsigned index) { s_row = index; }

CallRecorder::CallRecorder() { control(Op::record_start); }

int CallRecorder::stop() {
  if (running_) count_ = control(Op::record_stop, reinterpret_cast<uintptr_t>(records_), kCapacity);
  running_ = false;
  return count_;
}

// One capture at a time, so its buffer is static rather than on the test's small stack.
static char s_captured[OutputCapture::kCapacity + 1];

OutputCapture::OutputCapture() { control(Op::capture_start); }
const char* OutputCapture::text() const { return s_captured; }

uint32_t OutputCapture::stop() {
  if (running_) {
    const int32_t n = control(Op::capture_stop, reinterpret_cast<uintptr_t>(s_captured), kCapacity);
    size_ = n < 0 ? 0 : static_cast<uint32_t>(n);
    s_captured[size_ < kCapacity ? size_ : kCapacity] = '\0';
  }
  running_ = false;
  return size_;
}

static void script(uint32_t number, AnswerKind kind, int32_t value, const void* data = nullptr,
                   uint32_t length = 0) {
  const vornos::test_control::ScriptedAnswer answer{number, kind, value, word(data), length};
  control(Op::script, reinterpret_cast<uintptr_t>(&answer));
}

void script_result(uint32_t call_number, int32_t result) { script(call_number, AnswerKind::result, result); }
void script_short_write(int32_t max_bytes) { script(SYS_write, AnswerKind::short_write, max_bytes); }
void script_input(const void* data, uint32_t length) { script(SYS_read, AnswerKind::input, 0, data, length); }
void script_clear() { control(Op::script_clear); }

}  // namespace vtest

int main() {
  using namespace vtest;
  // Without the runner's test hooks nothing here could be checked: say so and fail.
  if (control(Op::script_clear) == -38) {
    print("these tests need the stand-in kernel's test hooks: vornos-run --test-hooks PROGRAM\n");
    return 2;
  }
  int passed = 0, failed = 0;
  for (const Case* c = __start_vtest_cases; c != __stop_vtest_cases; ++c) {
    s_failed = false;
    s_row = -1;
    s_case_function = nullptr;
    c->run();
    // Leave the kernel as a fresh test expects it: no recording, no capture, no scripts.
    control(Op::record_stop);
    control(Op::capture_stop);
    control(Op::script_clear);
    put(s_failed ? "[  FAILED  ] " : "[       OK ] "), put(c->suite), put("."), put(c->name);
    print("\n");
    ++(s_failed ? failed : passed);
  }
  put_int(passed), put(" passed, "), put_int(failed), print(" failed\n");
  return failed == 0 && passed > 0 ? 0 : 1;
}
