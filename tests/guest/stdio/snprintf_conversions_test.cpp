// The buffer formatter's conversions: flags, width and precision, integers in 32 and 64 bits,
// strings, pointers, echoed and incomplete specifications, and the order arguments are taken.
#include <stdint.h>
#include <stdio.h>

#include "vtest.h"

namespace {

// One format and the argument words it is given (unused ones are never taken), with the
// complete output it must produce. Words are what the i386 convention passes: a pointer is
// its address, a 64-bit value is two words, low first.
struct Case {
  const char* format;
  uint32_t words[4];
  const char* expected;
};

uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

uint32_t length_of(const char* text) {
  uint32_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

template <size_t N>
void check_cases(const Case (&cases)[N]) {
  for (const Case& c : cases) {
    char out[160];
    for (char& b : out) b = '\x5a';
    const int length = snprintf(out, sizeof out, c.format, c.words[0], c.words[1], c.words[2],
                                c.words[3]);
    const bool text_ok = vtest::same_text(out, c.expected);
    EXPECT_STREQ(out, c.expected);
    EXPECT_EQ(length, static_cast<int>(length_of(c.expected)));
    if (!text_ok || length != static_cast<int>(length_of(c.expected))) {
      vtest::print("    format was: ");
      vtest::print(c.format);
      vtest::print("\n");
    }
  }
}

}  // namespace

TEST(Snprintf, FlagsAlignSignAndFill) {
  const Case cases[] = {
      {"[%5d]", {42}, "[   42]"},
      {"[%-5d]", {42}, "[42   ]"},
      {"[%05d]", {42}, "[00042]"},
      {"[%+5d]", {42}, "[  +42]"},
      {"[%05d]", {static_cast<uint32_t>(-42)}, "[-0042]"},
      {"[%+05d]", {42}, "[+0042]"},
      {"[%-05d]", {42}, "[42   ]"},       // '-' wins over '0'
      {"[%0-5d]", {42}, "[42   ]"},       // in either order
      {"[%-0+8d]", {42}, "[+42     ]"},
      {"[%+-+5d]", {42}, "[+42  ]"},      // flags repeat at will
      {"[%00005d]", {42}, "[00042]"},     // every '0' after '%' is the flag, then width 5
      {"[%010d]", {42}, "[0000000042]"},  // the flag, then width 10
      {"[%+d]", {0}, "[+0]"},
      {"[%+d]", {static_cast<uint32_t>(-7)}, "[-7]"},
      {"[%+i]", {7}, "[+7]"},
      {"[%+u]", {42}, "[42]"},            // '+' signs only 'd' and 'i'
      {"[%+x]", {255}, "[ff]"},
      {"[%-5c]", {'A'}, "[A]"},           // 'c' ignores flags and width
      {"[%05c]", {'A'}, "[A]"},
      {"[%05s]", {word("abc")}, "[  abc]"},  // '0' and '+' do nothing for strings
      {"[%+s]", {word("abc")}, "[abc]"},
      {"[%-10p]", {0x1234}, "[0x1234]"},  // nothing pads a pointer
      {"[%010p]", {0x1234}, "[0x1234]"},
      {"[%+p]", {0x1234}, "[0x1234]"},
  };
  check_cases(cases);
}

TEST(Snprintf, WidthAndPrecision) {
  const Case cases[] = {
      {"[%.3d]", {static_cast<uint32_t>(-42)}, "[-042]"},
      {"[%5.3d]", {42}, "[  042]"},
      {"[%05.3d]", {42}, "[  042]"},  // a precision switches '0' off
      {"[%-5.3d]", {static_cast<uint32_t>(-42)}, "[-042 ]"},
      {"[%+.3d]", {42}, "[+042]"},
      {"[%.0d]", {0}, "[0]"},  // zero keeps its digit whatever the precision
      {"[%.d]", {0}, "[0]"},
      {"[%5.d]", {7}, "[    7]"},
      {"[%.1d]", {123}, "[123]"},
      {"[%2d]", {12345}, "[12345]"},  // a field never cuts
      {"[%*d]", {5, 42}, "[   42]"},
      {"[%*d]", {static_cast<uint32_t>(-5), 42}, "[42]"},  // a negative width pads no number
      {"[%.*d]", {static_cast<uint32_t>(-1), 42}, "[42]"},
      {"[%.*d]", {4, 42}, "[0042]"},
      {"[%*.*d]", {6, 3, 42}, "[   042]"},
      {"[%0*d]", {5, 42}, "[00042]"},
      {"[%8.4x]", {255}, "[    00ff]"},
      {"[%5c]", {'A'}, "[A]"},
      {"[%.0c]", {'A'}, "[A]"},
  };
  check_cases(cases);
}

TEST(Snprintf, IntegerConversions) {
  const Case cases[] = {
      {"%d", {0x80000000u}, "-2147483648"},
      {"%i", {0x7fffffffu}, "2147483647"},
      {"%d", {0}, "0"},
      {"%u", {0xffffffffu}, "4294967295"},
      {"%u", {1000000000}, "1000000000"},
      {"[%x]", {255}, "[ff]"},
      {"[%X]", {255}, "[FF]"},
      {"[%08X]", {255}, "[000000FF]"},
      {"[%-8x]", {255}, "[ff      ]"},
      {"%x", {0xdeadbeefu}, "deadbeef"},
      {"%X", {0xabcdef01u}, "ABCDEF01"},
      {"%x", {0}, "0"},
      {"%lX", {255}, "FF"},  // 'l' and 'z' take one word and change nothing
      {"%zx", {255}, "ff"},
      {"%ld|%d", {0xffffffffu, 5}, "-1|5"},
      {"%zu|%d", {0xffffffffu, 5}, "4294967295|5"},
      {"%lu%%", {50}, "50%"},
  };
  check_cases(cases);
}

TEST(Snprintf, StringsCharactersAndPointers) {
  const char* const absent = nullptr;
  const Case cases[] = {
      {"[%s]", {word("abc")}, "[abc]"},
      {"[%5s]", {word("abc")}, "[  abc]"},
      {"[%.2s]", {word("abc")}, "[ab]"},
      {"[%5.2s]", {word("abc")}, "[   ab]"},
      {"[%.0s]", {word("abc")}, "[]"},
      {"[%.9s]", {word("abc")}, "[abc]"},
      {"[%2s]", {word("abc")}, "[abc]"},
      {"[%s]", {word(absent)}, "[(null)]"},
      {"[%.2s]", {word(absent)}, "[(n]"},
      {"[%8s]", {word(absent)}, "[  (null)]"},
      {"[%3s]", {word("")}, "[   ]"},
      {"[%.*s]", {2, word("abc")}, "[ab]"},
      {"[%.*s]", {static_cast<uint32_t>(-2), word("abc")}, "[abc]"},
      // '-' left-aligns a string, and so does a negative width from '*'.
      {"[%-5s]", {word("abc")}, "[abc  ]"},
      {"[%-2s]", {word("abc")}, "[abc]"},
      {"[%-5.2s]", {word("abc")}, "[ab   ]"},
      {"[%-8s]", {word(absent)}, "[(null)  ]"},
      {"[%*s]", {static_cast<uint32_t>(-5), word("abc")}, "[abc  ]"},
      {"[%-*s]", {static_cast<uint32_t>(-5), word("abc")}, "[abc  ]"},
      {"[%-*s]", {5, word("abc")}, "[abc  ]"},
      {"[%*s]", {5, word("abc")}, "[  abc]"},
      {"[%c%c]", {'o', 0x14b}, "[oK]"},  // the low byte of the word
      {"[%p]", {0x1234}, "[0x1234]"},
      {"[%p]", {0}, "[0x0]"},
      {"[%.8p]", {0x1234}, "[0x1234]"},
      {"[%p]", {0xffffffffu}, "[0xffffffff]"},
      {"[%lp]", {0xabcu}, "[0xabc]"},
  };
  check_cases(cases);
}

TEST(Snprintf, CharacterZeroIsStoredAndCounted) {
  char out[8];
  for (char& b : out) b = '\x5a';
  EXPECT_EQ(snprintf(out, sizeof out, "a%cb", 0), 3);
  EXPECT_BYTES(out, "a\0b\0\x5a", 5);
}

TEST(Snprintf, PercentAndUnrecognisedConversionsAreEchoed) {
  const Case cases[] = {
      {"[%%]", {}, "[%]"},
      {"[%5%]", {}, "[%]"},
      {"[%-%]", {}, "[%]"},
      {"[%l%]", {}, "[%]"},
      {"[%.3%]", {}, "[%]"},
      {"[%q]", {}, "[%q]"},
      {"[%5q]", {}, "[%q]"},
      {"[%-5q]", {}, "[%q]"},
      {"[%+08.3lq]", {}, "[%q]"},
      {"[%lq]", {}, "[%q]"},
      {"[%hd]", {}, "[%hd]"},
      {"[% d]", {}, "[% d]"},
      {"[%#x]", {}, "[%#x]"},
      {"[%o]", {}, "[%o]"},
      {"[%e%f%g%n]", {}, "[%e%f%g%n]"},
      {"[%lz]", {}, "[%z]"},  // only one length is taken
      {"[%zl]", {}, "[%l]"},
      {"[%lll]", {}, "[%l]"},
      {"[%zz]", {}, "[%z]"},
      {"[%\xe9]", {}, "[%\xe9]"},
      {"%q%d", {7}, "%q7"},  // an echoed conversion takes no argument
  };
  check_cases(cases);
}

TEST(Snprintf, StarArgumentsStayTakenAndComeFirst) {
  const Case cases[] = {
      {"%*q%d", {5, 7}, "%q7"},
      {"%.*q%d", {3, 8}, "%q8"},
      {"%*.*q%d", {3, 4, 9}, "%q9"},
      {"%*%%d", {3, 6}, "%6"},
      {"%*c|%d", {9, 'x', 4}, "x|4"},
      {"%.*s|%d", {1, word("ab"), 3}, "a|3"},
      {"%*.*x|%d", {4, 3, 10, 1}, " 00a|1"},
  };
  check_cases(cases);
}

TEST(Snprintf, IncompleteSpecificationEndsOutput) {
  const Case cases[] = {
      {"abc%", {}, "abc"},     {"abc%5", {}, "abc"},   {"abc%l", {}, "abc"},
      {"abc%.", {}, "abc"},    {"abc%-", {}, "abc"},   {"abc%ll", {}, "abc"},
      {"abc%z", {}, "abc"},    {"abc%.*", {1}, "abc"}, {"abc%+0-", {}, "abc"},
      {"abc%*.*l", {1, 2}, "abc"},
  };
  check_cases(cases);
}

TEST(Snprintf, LongLongTakesTwoWordsLowFirst) {
  const Case cases[] = {
      {"%lld|%d", {0, 256, 7}, "1099511627776|7"},
      {"%lli|%d", {0xffffffffu, 0xffffffffu, 7}, "-1|7"},
      {"%lld", {0, 0x80000000u}, "-9223372036854775808"},
      {"%lld", {0xffffffffu, 0x7fffffffu}, "9223372036854775807"},
      {"%llu", {0xffffffffu, 0xffffffffu}, "18446744073709551615"},
      {"%llu", {0, 1}, "4294967296"},
      {"%llu", {0xffffffffu, 0}, "4294967295"},
      {"%llu", {42, 0}, "42"},
      {"%llu", {0, 0}, "0"},
      {"%llx", {0xffffffffu, 0xffffffffu}, "ffffffffffffffff"},
      {"%llX", {0x89abcdefu, 0x1234567u}, "123456789ABCDEF"},
      {"%llx", {0, 0x10}, "1000000000"},
      {"%llu", {0x89e80000u, 0x8ac72304u}, "10000000000000000000"},
      {"%llu", {0xa7640000u, 0x0de0b6b3u}, "1000000000000000000"},
      {"[%+lld]", {1, 1}, "[+4294967297]"},
      {"[%-14lld]", {0, 1}, "[4294967296    ]"},
      {"[%014lld]", {0, 0xffffffffu}, "[-0004294967296]"},
      {"[%.12llu]", {0, 1}, "[004294967296]"},
      // Other conversions with 'll' still take one word.
      {"%llp|%d", {0x1234, 5}, "0x1234|5"},
      {"%llc%d", {'A', 5}, "A5"},
      {"%lls|%d", {word("ab"), 5}, "ab|5"},
      {"%ll%%d", {5}, "%5"},
  };
  check_cases(cases);
}

TEST(Snprintf, LongLongAgreesWithTypedArguments) {
  char out[64];
  EXPECT_EQ(snprintf(out, sizeof out, "%lld %d %s", -1099511627776LL, 12, "end"), 21);
  EXPECT_STREQ(out, "-1099511627776 12 end");
  const unsigned long long big = 12345678901234567890ULL;
  EXPECT_EQ(snprintf(out, sizeof out, "%llu|%llx|%c", big, big, 'z'), 39);
  EXPECT_STREQ(out, "12345678901234567890|ab54a98ceb1f0ad2|z");
}
