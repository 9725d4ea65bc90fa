// The stream formatter: what printf writes, what it returns, and in which kernel writes.
#include <stdio.h>
#include <string.h>

#include "kernel_control.h"
#include "vtest.h"

using vtest::CallRecorder;
using vtest::OutputCapture;
using vtest::word;

// Every argument travels as 32-bit words (a 64-bit one as two, low first), so one table of
// formats and words covers every conversion. `pieces`, where given, lists the length of
// each kernel write ('1' to '9'); `failing`, where given, is the one write that fails.
TEST(StreamFormat, OutputResultAndWrites) {
  constexpr uint32_t kMin = 0x80000000u;
  const struct {
    const char* format;
    uint32_t w[6];
    const char* out;
    int result;
    const char* pieces;
    int failing = 0;  // 1 for the first write
  } rows[] = {
      {"%d|%5d|%.3d|%5.3d", {42, uint32_t(-42), 7, uint32_t(-7)}, "42|  -42|007| -007", 18, nullptr},
      {"ab%d", {42}, "ab42", 4, "112"},  // a write per ordinary character, one for the digits
      {"%.0d|%05d|%2d", {0, 42, 12345}, "0|   42|12345", 13, nullptr},  // 0 is a width digit
      {"[%*d|%*d|%*s]", {uint32_t(-5), 42, kMin, 42, kMin, word("ab")}, "[42|42|ab]", 10, nullptr},
      {"[%.*d|%.*d|%.d]", {4, 42, uint32_t(-1), 42, 7}, "[0042|42|7]", 11, nullptr},
      {"%8.5d", {uint32_t(-123)}, "  -00123", 8, "111113"},  // padding, sign, zeros one by one
      {"%7.3p", {0xAB}, "  0x0ab", 7, "111112"},
      {"%i|%u|%x|%p", {uint32_t(-1), kMin, 0xFFFFFFFFu, 0}, "-1|2147483648|ffffffff|0x0", 26, nullptr},
      {"%lld|%d", {0, 256, kMin}, "1099511627776|-2147483648", 25, nullptr},
      {"%lld|%llx", {0, kMin, ~0u, ~0u}, "-9223372036854775808|ffffffffffffffff", 37, nullptr},
      {"%llp|%24.22lld", {0x1234, 1, 0, kMin}, "0x100001234| -0009223372036854775808", 36, nullptr},
      {"%s|%.2s|%8s", {0, 0, 0}, "(null)|(n|  (null)", 18, nullptr},
      {"%5s%%%q", {word("abc")}, "  abc%%q", 8, "113111"},
      {"%s%.0s", {word(""), word("abc")}, "", 0, ""},  // an empty string makes no write
      {"x%5c|%.3c|%c", {'A', 'B', 0x162}, "xA|B|b", 6, nullptr},  // the low byte, no width
      {"x%llc%lls%d", {'A', word("s"), 5}, "xAs5", 4, nullptr},  // "ll" widens integers only
      {"[%-5d]|%+d|%X|%lX|%hd", {42, 1, 2, 3, 4}, "[%-5d]|%+d|%X|%X|%hd", 20, nullptr},
      {"%n%d|%*q%d|%llld", {7, 5, 9}, "%n7|%q9|%ld", 11, nullptr},  // '*' takes its word
      {"%5%|%c|abc%5.2l", {'A'}, "%|A|abc", 7, nullptr},  // a format ending in a specification
      {"%cX", {1, 2, 3}, "\xFF\x01\x02\x03X", 1, "41"},  // the console sequence, not counted
      {"%c%d", {0x141, 0x242, 0x343, 77}, "\xFF" "ABC77", 2, "42"},
      {"abc%d and more", {12345}, "ab", -1, "111", 3},  // stops at once; what went out stays
      {"%cX", {1, 2, 3}, "", -1, "4", 1},  // a failed console sequence fails the call
  };
  for (const auto& r : rows) {
    for (int i = 1; i < r.failing; ++i) vtest::script_short_write(100);
    if (r.failing != 0) vtest::script_result(SYS_write, -5);
    CallRecorder calls;
    OutputCapture out;
    const int result = printf(r.format, r.w[0], r.w[1], r.w[2], r.w[3], r.w[4], r.w[5]);
    out.stop();
    calls.stop();
    bool same = result == r.result && out.size() == strlen(r.out) && strcmp(out.text(), r.out) == 0;
    for (int i = 0; r.pieces != nullptr && i <= calls.count(); ++i) {
      same = same && (i < calls.count() ? calls[i].edx == uint32_t(r.pieces[i] - '0') : r.pieces[i] == '\0');
    }
    if (!same) vtest::name_case("printf", r.format);
    EXPECT_STREQ(out.text(), r.out);
    EXPECT_EQ(result, r.result);
    EXPECT_TRUE(same);
  }
}

TEST(StreamFormat, StreamsRefusalsAndTheCurrentStdout) {
  CallRecorder calls;
  EXPECT_EQ(fprintf(stdin, "%cX", 1, 2, 3) + fprintf(nullptr, "x") + fprintf(stdout, nullptr), -3);
  EXPECT_EQ(calls.stop(), 0);  // descriptor 0 takes no console sequence
  OutputCapture out;
  EXPECT_EQ(fprintf(stderr, "%c!", 'x', 'y', 'z'), 1);  // standard error is descriptor 1
  out.stop();
  EXPECT_STREQ(out.text(), "\xFF" "xyz!");
  FILE memory = {STREAM_MEM};
  FILE* const saved = stdout;
  stdout = &memory;
  const int result = printf("%cX%d", 'A', 7);  // a memory stream: "%c" is ordinary
  stdout = saved;
  EXPECT_EQ(result, 3);
  EXPECT_STREQ(memory.buf, "AX7");
}
