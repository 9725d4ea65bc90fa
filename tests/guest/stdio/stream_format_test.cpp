// The stream formatter: what printf writes, what it returns, and in which kernel writes.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "kernel_control.h"
#include "vtest.h"

using vtest::CallRecorder;
using vtest::OutputCapture;

namespace {

uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
constexpr uint32_t kMinus = 0x80000000u;

}  // namespace

// Every argument travels as 32-bit words (a 64-bit one as two, low first), so one table of
// formats and words covers every conversion. `pieces`, where given, lists the length of
// each kernel write ('1' to '9', then ':' for 10 ...).
TEST(StreamFormat, OutputResultAndWrites) {
  const char* hello = "hello";
  const struct {
    const char* format;
    uint32_t w[6];
    const char* out;
    int result;
    const char* pieces;
  } rows[] = {
      {"%d|%5d|%.3d|%5.3d", {42, uint32_t(-42), 7, uint32_t(-7)}, "42|  -42|007| -007", 18, nullptr},
      {"ab%d", {42}, "ab42", 4, "112"},  // a write per ordinary character, one for the digits
      {"%.0d|%05d|%2d", {0, 42, 12345}, "0|   42|12345", 13, nullptr},  // 0 is a width digit
      {"[%*d|%*d|%*s]", {uint32_t(-5), 42, kMinus, 42, kMinus, word("ab")}, "[42|42|ab]", 10, nullptr},
      {"[%.*d|%.*d|%.d]", {4, 42, uint32_t(-1), 42, 7}, "[0042|42|7]", 11, nullptr},
      {"%8.5d", {uint32_t(-123)}, "  -00123", 8, "111113"},  // padding, sign, zeros one by one
      {"%7.3p", {0xAB}, "  0x0ab", 7, "111112"},
      {"%i|%ld|%u", {uint32_t(-1), 123, kMinus}, "-1|123|2147483648", 17, nullptr},
      {"%x %p %u|%p", {255, 0x1234, 0xFFFFFFFFu, 0}, "ff 0x1234 4294967295|0x0", 24, nullptr},
      {"%10p|%.8p|%10.4x", {0x1234, 0x1234, 0xAB}, "    0x1234|0x00001234|      00ab", 32, nullptr},
      {"%lld|%d", {0, 256, kMinus}, "1099511627776|-2147483648", 25, nullptr},
      {"%lld|%lli", {0, kMinus, ~0u, ~0u}, "-9223372036854775808|-1", 23, nullptr},
      {"%llx|%llu", {~0u, ~0u, ~0u, ~0u}, "ffffffffffffffff|18446744073709551615", 37, nullptr},
      {"%llp|%24.22lld", {0x1234, 1, 0, kMinus}, "0x100001234| -0009223372036854775808", 36, nullptr},
      {"%s|%.2s|%8s", {0, 0, 0}, "(null)|(n|  (null)", 18, nullptr},
      {"%7.2s|%3s|[%s]", {word(hello), word(hello), word("")}, "     he|hello|[]", 16, nullptr},
      {"%5s%%%q", {word("abc")}, "  abc%%q", 8, "113111"},
      {"%s%.0s", {word(""), word("abc")}, "", 0, ""},  // an empty string makes no write
      {"x%5c|%.3c|%c%c", {'A', 'B', 0x162, 'c'}, "xA|B|bc", 7, nullptr},  // low byte, no width
      {"x%llc%lls%d", {'A', word("s"), 5}, "xAs5", 4, nullptr},  // "ll" widens integers only
      {"[%-5d]|%+d|% d|%#x", {42, 1, 1, 2}, "[%-5d]|%+d|% d|%#x", 18, nullptr},
      {"%X|%lX|%hd|%zu|%5q", {}, "%X|%X|%hd|%zu|%q", 16, nullptr},
      {"%n%d|%*q%d", {7, 5, 9}, "%n7|%q9", 7, nullptr},  // '*' takes its word, 'q' none
      {"%llld|%5%|%c", {'A'}, "%ld|%|A", 7, nullptr},
      {"abc%", {}, "abc", 3, nullptr},
      {"abc%5.2l", {}, "abc", 3, nullptr},
      {"abc%.*", {3}, "abc", 3, nullptr},
      {"%cX", {1, 2, 3}, "\xFF\x01\x02\x03X", 1, "41"},  // the console sequence, not counted
      {"%c%d", {0x141, 0x242, 0x343, 77}, "\xFF" "ABC77", 2, "42"},
      {"%5c| %c", {'A', 'B'}, "A| B", 4, nullptr},  // only a leading "%c" is the sequence
  };
  for (const auto& r : rows) {
    CallRecorder calls;
    OutputCapture out;
    const int result = printf(r.format, r.w[0], r.w[1], r.w[2], r.w[3], r.w[4], r.w[5]);
    out.stop();
    calls.stop();
    bool same = result == r.result && out.size() == strlen(r.out) && strcmp(out.text(), r.out) == 0;
    if (r.pieces != nullptr) {
      same = same && calls.count() == static_cast<int>(strlen(r.pieces));
      for (int i = 0; same && i < calls.count(); ++i) same = calls[i].edx == uint32_t(r.pieces[i] - '0');
    }
    if (!same) vtest::name_case("printf", r.format);
    EXPECT_STREQ(out.text(), r.out);
    EXPECT_EQ(result, r.result);
    EXPECT_TRUE(same);
  }
}

TEST(StreamFormat, FailingWritesFailTheCallAndEarlierOutputStays) {
  const struct {
    const char* format;
    int served;      // writes served in full before the failing one
    int32_t answer;  // what the failing write answers: an error, or nothing taken
    const char* out;
  } rows[] = {{"abc%d and more", 2, -5, "ab"}, {"%cX", 0, -5, ""}, {"%d", 0, 0, ""}};
  for (const auto& r : rows) {
    for (int i = 0; i < r.served; ++i) vtest::script_short_write(100);
    vtest::script_result(SYS_write, r.answer);
    CallRecorder calls;
    OutputCapture out;
    EXPECT_EQ(printf(r.format, 1, 2, 3), -1);
    out.stop();
    EXPECT_EQ(calls.stop(), r.served + 1);
    EXPECT_STREQ(out.text(), r.out);
  }
  vtest::script_short_write(2);  // a short write is completed by another
  OutputCapture out;
  EXPECT_EQ(printf("%s", "hello"), 5);
  out.stop();
  EXPECT_STREQ(out.text(), "hello");
}

TEST(StreamFormat, StreamsRefusalsAndTheCurrentStdout) {
  CallRecorder calls;
  EXPECT_EQ(fprintf(stdin, "x"), -1);  // descriptor 0 cannot be written
  EXPECT_EQ(fprintf(stdin, "%cX", 1, 2, 3), -1);
  EXPECT_EQ(fprintf(stdin, ""), 0);
  EXPECT_EQ(fprintf(nullptr, "x"), -1);
  EXPECT_EQ(fprintf(stdout, nullptr), -1);
  EXPECT_EQ(calls.stop(), 0);
  OutputCapture out;
  EXPECT_EQ(fprintf(stderr, "%c!", 'x', 'y', 'z'), 1);  // standard error is descriptor 1
  out.stop();
  EXPECT_STREQ(out.text(), "\xFF" "xyz!");
  FILE memory = {};
  memory.kind = STREAM_MEM;
  FILE* const saved = stdout;
  stdout = &memory;
  const int result = printf("%cX%d", 'A', 7);  // a memory stream: "%c" is ordinary
  stdout = saved;
  EXPECT_EQ(result, 3);
  EXPECT_STREQ(memory.buf, "AX7");
}
