// The stream formatter: what printf writes, what it returns, and in which kernel writes.
#include <stdint.h>
#include <stdio.h>

#include "kernel_control.h"
#include "vtest.h"

using vtest::CallRecorder;
using vtest::OutputCapture;

namespace {

uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// Every argument travels as 32-bit words (a 64-bit one as two, low first), so one table
// of formats and words covers every conversion; words the format does not ask for are
// never read.
struct FormatCase {
  const char* format;
  uint32_t words[6];
  const char* expected;
  int result;
};

void check_cases(const FormatCase* cases, int n) {
  for (int i = 0; i < n; ++i) {
    const FormatCase& c = cases[i];
    const uint32_t* w = c.words;
    OutputCapture out;
    const int result = printf(c.format, w[0], w[1], w[2], w[3], w[4], w[5]);
    out.stop();
    EXPECT_STREQ(out.text(), c.expected);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out.size(), static_cast<uint32_t>(c.result));
  }
}

// The lengths of the kernel writes that were recorded, in order, all on descriptor 1.
void expect_pieces(const CallRecorder& calls, const uint32_t* lengths, int n) {
  ASSERT_EQ(calls.count(), n);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(calls[i].number, static_cast<uint32_t>(SYS_write));
    EXPECT_EQ(calls[i].ebx, 1u);
    EXPECT_EQ(calls[i].edx, lengths[i]);
  }
}

}  // namespace

TEST(StreamFormat, DecimalWidthAndPrecision) {
  const FormatCase cases[] = {
      {"%d|%5d|%.3d|%5.3d", {42, static_cast<uint32_t>(-42), 7, static_cast<uint32_t>(-7)},
       "42|  -42|007| -007", 18},
      {"%.3d", {0}, "000", 3},
      {"%.0d", {0}, "0", 1},  // zero always has its one digit
      {"%05d", {42}, "   42", 5},  // a leading 0 is a digit of the width, not a flag
      {"%12d", {1}, "           1", 12},
      {"%2d", {12345}, "12345", 5},  // a narrow width cuts nothing
      {"[%*d]", {static_cast<uint32_t>(-5), 42}, "[42]", 4},
      {"[%*d]", {5, 42}, "[   42]", 7},
      {"[%*d|%*s]", {0x80000000u, 42, 0x80000000u, word("ab")}, "[42|ab]", 7},  // no wrap
      {"[%.*d]", {4, 42}, "[0042]", 6},
      {"[%.*d]", {static_cast<uint32_t>(-1), 42}, "[42]", 4},  // negative precision: none
      {"[%*.*d]", {7, 4, static_cast<uint32_t>(-42)}, "[  -0042]", 9},
      {"[%.d]", {7}, "[7]", 3},  // '.' alone is precision 0
      {"%i|%ld|%li", {static_cast<uint32_t>(-1), 123, static_cast<uint32_t>(-123)},
       "-1|123|-123", 11},
      {"%u", {0x80000000u}, "2147483648", 10},
  };
  check_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(StreamFormat, HexadecimalAndPointers) {
  const FormatCase cases[] = {
      {"%x %p %u", {255, 0x1234, 0xFFFFFFFFu}, "ff 0x1234 4294967295", 20},
      {"%x", {0xDEADBEEFu}, "deadbeef", 8},
      {"%p", {0}, "0x0", 3},
      {"%10p|%.8p", {0x1234, 0x1234}, "    0x1234|0x00001234", 21},
      {"%10.4x|%.3x", {0xAB, 0}, "      00ab|000", 14},
  };
  check_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(StreamFormat, SixtyFourBitValuesAndMinimums) {
  const FormatCase cases[] = {
      {"%lld", {0, 256}, "1099511627776", 13},                   // 2^40
      {"%lld", {0, 0x80000000u}, "-9223372036854775808", 20},    // 64-bit minimum
      {"%lli", {0xFFFFFFFFu, 0xFFFFFFFFu}, "-1", 2},
      {"%llx", {0xFFFFFFFFu, 0xFFFFFFFFu}, "ffffffffffffffff", 16},
      {"%llu", {0xFFFFFFFFu, 0xFFFFFFFFu}, "18446744073709551615", 20},
      {"%llp", {0x1234, 1}, "0x100001234", 11},
      {"%d", {0x80000000u}, "-2147483648", 11},                   // 32-bit minimum
      {"%lld|%d", {5, 0, 6}, "5|6", 3},  // both words of the first value are taken
      {"%24.22lld", {0, 0x80000000u}, " -0009223372036854775808", 24},
  };
  check_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(StreamFormat, StringsAndCharacters) {
  const char* hello = "hello";
  const FormatCase cases[] = {
      {"%s|%.2s|%8s", {0, 0, 0}, "(null)|(n|  (null)", 18},
      {"%s|%.2s|%7.2s|%3s", {word(hello), word(hello), word(hello), word(hello)},
       "hello|he|     he|hello", 22},
      {"[%s]", {word("")}, "[]", 2},
      {"[%*s]", {static_cast<uint32_t>(-3), word("ab")}, "[ab]", 4},
      {"[%.*s]", {0, word("ab")}, "[]", 2},
      {"x%5c|%.3c", {'A', 'B'}, "xA|B", 4},  // width and precision do not apply to 'c'
      {"a%c%c", {0x162, 'c'}, "abc", 3},     // only the low byte of the word
      {"%5c", {'A'}, "A", 1},  // not "%c" itself, so no console sequence either
      {"x%llc%lls%d", {'A', word("s"), 5}, "xAs5", 4},  // "ll" widens integers only
  };
  check_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(StreamFormat, PercentAndUnrecognisedConversionsAreEchoed) {
  const FormatCase cases[] = {
      {"[%-5d]", {42}, "[%-5d]", 6},
      {"%+d", {1}, "%+d", 3},
      {"% d|%#x", {1, 2}, "% d|%#x", 7},
      {"%X|%lX|%hd|%zu", {255, 255, 1, 1}, "%X|%X|%hd|%zu", 13},
      {"%5q", {}, "%q", 2},
      {"%e%f%g%o", {}, "%e%f%g%o", 8},
      {"%n%d", {7}, "%n7", 3},          // an unrecognised conversion takes no argument
      {"%*q%d", {5, 9}, "%q9", 3},      // but a '*' before it has taken its argument
      {"%llld", {}, "%ld", 3},          // a third 'l' stands where the conversion belongs
      {"%5%|%%", {}, "%|%", 3},
      {"%5%|%c", {'A'}, "%|A", 3},
  };
  check_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(StreamFormat, FormatEndingInsideASpecificationEndsThere) {
  const FormatCase cases[] = {
      {"abc%", {}, "abc", 3},     {"abc%5", {}, "abc", 3},   {"abc%l", {}, "abc", 3},
      {"abc%ll", {}, "abc", 3},   {"abc%.", {}, "abc", 3},   {"abc%.*", {3}, "abc", 3},
      {"abc%*", {3}, "abc", 3},   {"abc%5.2l", {}, "abc", 3}, {"", {}, "", 0},
  };
  check_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(StreamFormat, OneWritePerOrdinaryCharacterAndOneForTheDigits) {
  const char* format = "ab%d";
  CallRecorder calls;
  OutputCapture out;
  const int result = printf(format, 42);
  out.stop();
  calls.stop();
  EXPECT_EQ(result, 4);
  EXPECT_STREQ(out.text(), "ab42");
  const uint32_t lengths[] = {1, 1, 2};
  expect_pieces(calls, lengths, 3);
  if (calls.count() == 3) {
    EXPECT_EQ(calls[0].ecx, word(format));
    EXPECT_EQ(calls[1].ecx, word(format + 1));
  }
}

TEST(StreamFormat, PaddingSignAndPrefixGoOneByteAtATime) {
  {
    CallRecorder calls;
    OutputCapture out;
    EXPECT_EQ(printf("%8.5d", -123), 8);
    out.stop();
    calls.stop();
    EXPECT_STREQ(out.text(), "  -00123");
    const uint32_t lengths[] = {1, 1, 1, 1, 1, 3};  // ' ' ' ' '-' '0' '0' "123"
    expect_pieces(calls, lengths, 6);
  }
  {
    CallRecorder calls;
    OutputCapture out;
    EXPECT_EQ(printf("%7.3p", 0xAB), 7);
    out.stop();
    calls.stop();
    EXPECT_STREQ(out.text(), "  0x0ab");
    const uint32_t lengths[] = {1, 1, 1, 1, 1, 2};  // ' ' ' ' '0' 'x' '0' "ab"
    expect_pieces(calls, lengths, 6);
  }
  {
    CallRecorder calls;
    OutputCapture out;
    EXPECT_EQ(printf("%5s%%%q", "abc"), 8);
    out.stop();
    calls.stop();
    EXPECT_STREQ(out.text(), "  abc%%q");
    const uint32_t lengths[] = {1, 1, 3, 1, 1, 1};  // ' ' ' ' "abc" '%' '%' 'q'
    expect_pieces(calls, lengths, 6);
  }
}

TEST(StreamFormat, EmptyStringMakesNoKernelCall) {
  CallRecorder calls;
  EXPECT_EQ(printf("%s%.0s", "", "abc"), 0);
  EXPECT_EQ(calls.stop(), 0);
}

TEST(StreamFormat, LeadingCharacterConversionOnDescriptorOneIsTheConsoleSequence) {
  {
    CallRecorder calls;
    OutputCapture out;
    EXPECT_EQ(printf("%cX", 1, 2, 3), 1);  // the four bytes are not counted
    out.stop();
    calls.stop();
    ASSERT_EQ(out.size(), 5u);
    EXPECT_BYTES(out.bytes(), "\xFF\x01\x02\x03X", 5);
    const uint32_t lengths[] = {4, 1};
    expect_pieces(calls, lengths, 2);
  }
  {
    OutputCapture out;
    EXPECT_EQ(printf("%c", 0x141, 0x242, 0x343), 0);  // low bytes only
    out.stop();
    ASSERT_EQ(out.size(), 4u);
    EXPECT_BYTES(out.bytes(), "\xFF" "ABC", 4);
  }
  {
    // The three words are consumed: the next conversion takes the fourth.
    OutputCapture out;
    EXPECT_EQ(printf("%c%d", 'a', 'b', 'c', 77), 2);
    out.stop();
    ASSERT_EQ(out.size(), 6u);
    EXPECT_BYTES(out.bytes(), "\xFF" "abc77", 6);
  }
  {
    // Standard error leaves through descriptor 1 as well, so it gets the sequence too.
    OutputCapture out;
    EXPECT_EQ(fprintf(stderr, "%c!", 'x', 'y', 'z'), 1);
    out.stop();
    ASSERT_EQ(out.size(), 5u);
    EXPECT_BYTES(out.bytes(), "\xFF" "xyz!", 5);
  }
  {
    // Only at the very start: a later "%c" is an ordinary conversion.
    OutputCapture out;
    EXPECT_EQ(printf(" %c", 'A', 'B', 'C'), 2);
    out.stop();
    EXPECT_STREQ(out.text(), " A");
  }
}

TEST(StreamFormat, FailedConsoleSequenceFailsTheWholeCall) {
  vtest::script_result(SYS_write, -5);
  CallRecorder calls;
  EXPECT_EQ(printf("%cX", 1, 2, 3), -1);
  calls.stop();
  ASSERT_EQ(calls.count(), 1);
  EXPECT_EQ(calls[0].edx, 4u);
}

TEST(StreamFormat, FailingWriteStopsAtOnceAndEarlierOutputStays) {
  // The first two writes are served in full, the third fails.
  vtest::script_short_write(100);
  vtest::script_short_write(100);
  vtest::script_result(SYS_write, -5);
  CallRecorder calls;
  OutputCapture out;
  EXPECT_EQ(printf("abc%d and more", 12345), -1);
  out.stop();
  calls.stop();
  EXPECT_STREQ(out.text(), "ab");
  EXPECT_EQ(calls.count(), 3);
}

TEST(StreamFormat, WriteTakingNothingIsAFailure) {
  vtest::script_result(SYS_write, 0);
  CallRecorder calls;
  EXPECT_EQ(printf("%d", 12345), -1);
  EXPECT_EQ(calls.stop(), 1);
}

TEST(StreamFormat, ShortWriteIsCompletedByAnotherWrite) {
  vtest::script_short_write(2);
  const char* text = "hello";
  CallRecorder calls;
  OutputCapture out;
  EXPECT_EQ(printf("%s", text), 5);
  out.stop();
  calls.stop();
  EXPECT_STREQ(out.text(), "hello");
  const uint32_t lengths[] = {5, 3};
  expect_pieces(calls, lengths, 2);
  if (calls.count() == 2) {
    EXPECT_EQ(calls[0].ecx, word(text));
    EXPECT_EQ(calls[1].ecx, word(text + 2));
  }
}

TEST(StreamFormat, StandardInputCannotBeWritten) {
  CallRecorder calls;
  EXPECT_EQ(fprintf(stdin, "x"), -1);
  EXPECT_EQ(fprintf(stdin, "%d", 5), -1);
  EXPECT_EQ(fprintf(stdin, "%cX", 1, 2, 3), -1);  // no console sequence: descriptor 0
  EXPECT_EQ(fprintf(stdin, ""), 0);
  EXPECT_EQ(calls.stop(), 0);
}

TEST(StreamFormat, StandardErrorWritesOnDescriptorOne) {
  CallRecorder calls;
  OutputCapture out;
  EXPECT_EQ(fprintf(stderr, "x"), 1);
  out.stop();
  calls.stop();
  EXPECT_STREQ(out.text(), "x");
  const uint32_t lengths[] = {1};
  expect_pieces(calls, lengths, 1);
}

TEST(StreamFormat, NullStreamOrFormatIsRefusedWithoutOutput) {
  CallRecorder calls;
  EXPECT_EQ(fprintf(nullptr, "x"), -1);
  EXPECT_EQ(fprintf(stdout, nullptr), -1);
  EXPECT_EQ(printf(nullptr), -1);
  EXPECT_EQ(calls.stop(), 0);
}

TEST(StreamFormat, PrintfFollowsTheCurrentValueOfStdout) {
  FILE memory = {};
  memory.kind = STREAM_MEM;
  FILE* const saved = stdout;
  stdout = &memory;
  CallRecorder calls;
  const int result = printf("%cX%d", 'A', 7);  // a memory stream: "%c" is ordinary
  calls.stop();
  stdout = saved;
  EXPECT_EQ(result, 3);
  EXPECT_EQ(calls.count(), 0);
  ASSERT_TRUE(memory.buf != nullptr);
  EXPECT_STREQ(memory.buf, "AX7");
  EXPECT_EQ(memory.len, 3u);
}
