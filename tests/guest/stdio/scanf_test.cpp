// The scanner (sscanf, vsscanf) and fscanf, which scans one word of a descriptor stream.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "kernel_control.h"
#include "vtest.h"

using vtest::CallRecorder;

namespace {

constexpr uint32_t kNo = 0xCCCCCCCCu;  // a value never stored

// A stream on descriptor 9 whose every read gets one byte of `text`, and then the end.
FILE scripted_stream(const char* text, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) vtest::script_input(text + i, 1);
  vtest::script_input(text, 0);
  return FILE{STREAM_FD, 9};
}

}  // namespace

TEST(Sscanf, NumbersWhitespaceAndLiterals) {
  const struct {
    const char* input;
    const char* format;
    int result;
    uint32_t a, b;
  } rows[] = {
      {"42", "%d", 1, 42, kNo},       {"  -42", "%d", 1, uint32_t(-42), kNo}, {"+7|010", "%d|%d", 2, 7, 10},
      {"\n5", "%d", 0, kNo, kNo},     {"\n5", " %d", 1, 5, kNo},  // conversions skip blanks only
      {"5,6", "%d ,%d", 2, 5, 6},     {"5\t\n ,6", "%d ,%d", 2, 5, 6}, {"\r5", "%d", 0, kNo, kNo},
      {"5\r6", "%d\r%d", 2, 5, 6},    {"0x1f", "%x", 1, 0, kNo},     {"A -ff", "%x %X", 2, 10, uint32_t(-255)},
      {"g", "%x", 0, kNo, kNo},       {"+1f", "%x", 1, 31, kNo},     {"017 0X1A", "%i %i", 2, 15, 26},
      {"08", "%i%d", 2, 0, 8},        {"0 -0x10", "%i %i", 2, 0, uint32_t(-16)}, {"0xz", "%i", 0, kNo, kNo},
      {"12345", "%2d", 1, 12345, kNo}, {"y=5", "x=%d", 0, kNo, kNo},  {"%5", "%%%d", 1, 5, kNo},
      {"  %5", "%%%d", 0, kNo, kNo},  {"%5", "%*5%%d", 1, 5, kNo},   {"5", "%5*d", 0, kNo, kNo},
      {"5 6", "%*d %d", 1, 6, kNo},   {"+5", "%u", 0, kNo, kNo},     {"4294967296", "%u", 1, 0, kNo},
      {"5", "%ld", 0, kNo, kNo},      {"7", "%d%", 1, 7, kNo},       {"", "%d", 0, kNo, kNo},
      {"abc", "", 0, kNo, kNo},
  };
  for (const auto& r : rows) {
    uint32_t got[3] = {0, kNo, kNo};
    got[0] = uint32_t(sscanf(r.input, r.format, &got[1], &got[2]));
    const uint32_t want[3] = {uint32_t(r.result), r.a, r.b};
    if (!vtest::same_bytes(got, want, sizeof got)) vtest::name_case("sscanf", r.format);
    EXPECT_BYTES(got, want, sizeof got);  // the result and the two values
  }
}

// Destinations of 8 bytes filled with '~': what is stored shows exactly, NUL included.
TEST(Sscanf, WordsAndCharacters) {
  const struct {
    const char* input;
    const char* format;
    bool null_first;
    int result;
    const char* stored[2];  // the 8 bytes of each destination afterwards
  } rows[] = {
      {"abc def", "%s %s", false, 2, {"abc\0~~~", "def\0~~~"}},
      {"abc\tdef", "%s%s", false, 2, {"abc\0~~~", "def\0~~~"}},
      {"\nabc", "%s", false, 1, {"\0~~~~~~", "~~~~~~~"}},  // at a newline: an empty word
      {"abc", "%*s%s", false, 0, {"~~~~~~~", "~~~~~~~"}},      {" \t", "%s", false, 0, {"~~~~~~~", "~~~~~~~"}},
      {"a b", "%c%c%*c", false, 2, {"a~~~~~~", " ~~~~~~"}},  // one byte, no NUL
      {"", "%c", false, 0, {"~~~~~~~", "~~~~~~~"}},           {"ab", "%7s", false, 1, {"ab\0~~~~", "~~~~~~~"}},
      {"abc def", "%s %s", true, 1, {"~~~~~~~", "def\0~~~"}},  // null: consumed, not counted
      {"abcdefghij kl", "%3s%s", false, 2, {"abc\0~~~", "kl\0~~~~"}},  // width bounds the store
      {"abcdef", "%0s%c", false, 1, {"\0~~~~~~", "~~~~~~~"}},
  };
  for (const auto& r : rows) {
    char got[2][8] = {"~~~~~~~", "~~~~~~~"};
    const int result = sscanf(r.input, r.format, r.null_first ? nullptr : got[0], got[1]);
    if (result != r.result || memcmp(got[0], r.stored[0], 8) || memcmp(got[1], r.stored[1], 8))
      vtest::name_case("sscanf", r.format);
    EXPECT_EQ(result, r.result);
    for (int i = 0; i < 2; ++i) EXPECT_BYTES(got[i], r.stored[i], 8);
  }
}

// Spaces, tabs, carriage returns and newlines delimit words.
TEST(Fscanf, OneWordPerCallOneReadPerByteAtMost255Kept) {
  FILE stream = scripted_stream(" \t12\r34\n", 8);
  int a = 0, b = 0;
  CallRecorder calls;
  EXPECT_EQ(fscanf(&stream, "%d %d", &a, &b), 1);  // the format sees "12" alone
  EXPECT_TRUE(a == 12 && b == 0 && stream.pos == 5 && stream.eof == 0);  // the delimiter is gone
  EXPECT_EQ(fscanf(&stream, "%d", &b), 1);
  EXPECT_TRUE(b == 34 && stream.pos == 8 && stream.eof == 0);
  EXPECT_EQ(fscanf(&stream, "%d", &b), -1);  // only the end is left
  EXPECT_EQ(stream.eof, 1);
  ASSERT_EQ(calls.stop(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(calls[i].number == SYS_read && calls[i].ebx == 9 && calls[i].edx == 1);
  FILE last = scripted_stream("12", 2);  // a word that ends the stream raises eof
  EXPECT_TRUE(fscanf(&last, "%d", &a) == 1 && a == 12 && last.eof == 1);
  FILE memory = {STREAM_MEM};
  CallRecorder none;  // refused without reading
  EXPECT_EQ(fscanf(&memory, "%d", &a) + fscanf(nullptr, "%d", &a) + fscanf(&stream, nullptr), -3);
  EXPECT_EQ(none.stop(), 0);
  // Of a long word the first 255 bytes are kept, and the rest is read past.
  char text[302], word[300];
  for (int i = 0; i < 300; ++i) text[i] = static_cast<char>('a' + i % 26);
  memcpy(text + 300, " z", 2);
  FILE long_word = scripted_stream(text, sizeof text);
  memset(word, '~', sizeof word);
  EXPECT_EQ(fscanf(&long_word, "%s", word), 1);
  EXPECT_BYTES(word, text, 255);
  EXPECT_TRUE(word[255] == '\0' && word[256] == '~' && long_word.pos == 301);  // the delimiter read too
  EXPECT_EQ(fgetc(&long_word), 'z');
}
