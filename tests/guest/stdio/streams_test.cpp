// Streams: the write path (descriptor 1 through the kernel, other kinds into a growing buffer),
// the stream formatter, reading and fscanf, opening, closing and positioning.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "kernel_control.h"
#include "stdio/file_write.h"
#include "stdlib/heap.h"
#include "vtest.h"

// The formatter's own rules (console sequences, formats the compiler calls wrong) are tested
// with exactly such formats, which the format checking of <stdio.h> would flag.
#pragma clang diagnostic ignored "-Wformat"
#pragma clang diagnostic ignored "-Wformat-extra-args"

using vornos::file_write_bytes;
using vtest::CallRecorder;
using vtest::OutputCapture;
using vtest::word;

// A stream on descriptor 9 whose every read gets one byte of `text`, and then the end.
static FILE scripted_stream(const char* text, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) vtest::script_input(text + i, 1);
  vtest::script_input(text, 0);
  return FILE{STREAM_FD, 9};
}

// Short and failing writes on descriptor 1 are rows of the stream output table.
TEST(WritePath, PiecesOfTheLargestWriteAndEmptyWrites) {
  const char text[] = "abcdefg";
  vtest::script_result(SYS_write, 0x7fffffff);  // answered by script: no 2 GiB are read
  vtest::script_result(SYS_write, 6);
  CallRecorder calls;
  EXPECT_EQ(file_write_bytes(stdout, text, 0x80000005u), 0);  // in pieces of the largest write
  ASSERT_EQ(calls.stop(), 2);
  EXPECT_TRUE(calls[0].edx == 0x7fffffff && calls[1].ecx == word(text) + 0x7fffffffu && calls[1].edx == 6);
  FILE empty = {STREAM_MEM};
  EXPECT_TRUE(file_write_bytes(&empty, "x", 0) == 0 && fputs("", &empty) == 0 && empty.cap == 0);
}

TEST(WritePath, BufferKindsGrowFrom256ByDoublingAndKeepANul) {
  static char pattern[1024];  // 'A' + i % 23: every slice is recognisable
  for (uint32_t i = 0; i < sizeof pattern; ++i) pattern[i] = static_cast<char>('A' + i % 23);
  const struct { int kind; uint32_t first, second, len, cap; } cases[] = {
      {STREAM_MEM, 255, 0, 255, 256},  // 255 bytes and the NUL fill 256
      {STREAM_MEM, 256, 0, 256, 512}, {STREAM_MEM, 10, 246, 256, 512}, {STREAM_FILEBUF, 10, 245, 255, 256},
      {0, 1, 600, 601, 1024},  // any other kind too; doubled twice at once
  };
  for (const auto& c : cases) {
    char* caller_buf = nullptr;
    size_t caller_size = 77;
    FILE record = {c.kind, 0, nullptr, nullptr, 0, 0, &caller_buf, &caller_size, 5, 6, 7};
    ASSERT_TRUE(file_write_bytes(&record, pattern, c.first) == 0 &&
                file_write_bytes(&record, pattern + c.first, c.second) == 0);
    EXPECT_TRUE(record.len == c.len && record.cap == c.cap && record.buf[c.len] == '\0');
    EXPECT_BYTES(record.buf, pattern, c.len);
    EXPECT_TRUE(record.error == 5 && record.pos == 6 && record.eof == 7);  // not the path's
    // Only a memory stream hands its buffer to the caller.
    EXPECT_TRUE(caller_buf == (c.kind == STREAM_MEM ? record.buf : nullptr));
    EXPECT_EQ(caller_size, c.kind == STREAM_MEM ? c.len : 77u);
  }
}

TEST(WritePath, GrowthThatDoesNotFitLeavesTheRecordUnchanged) {
  char existing[8] = "abc";
  const struct { uint32_t len, cap, count; int error; } cases[] = {
      {0, 0, 0xFFFFFFFFu, 0},  // len + count + 1 wraps
      {0xFFFFFFF0u, 0xFFFFFFF8u, 0x10, 0}, {0x80000000u, 0x80000000u, 1, 0},  // doubling wraps
      {0, 0, 0x100000, ENOMEM},  // fits the arithmetic, not the heap
  };
  for (const auto& c : cases) {
    FILE record = {STREAM_MEM, 0, nullptr, c.len != 0 ? existing : nullptr, c.len, c.cap};
    const FILE before = record;
    const uint32_t used = g_heap_used;
    errno = 0;
    EXPECT_EQ(file_write_bytes(&record, "x", c.count), -1);
    EXPECT_BYTES(&record, &before, sizeof record);
    EXPECT_TRUE(g_heap_used == used && errno == c.error);  // only the heap sets errno
  }
  EXPECT_STREQ(existing, "abc");
}

// A table row's operation on the stream f; stdout and stdin point at f meanwhile.
#define ON_STREAM(expr) [](FILE* f, char* dest) -> int { return (void)f, (void)dest, int(expr); }

// Each row on descriptor 1: the result, the bytes written and, where given, the length of
// each kernel write and the kernel's answers to the first writes.
TEST(StreamOutput, CharactersStringsBlocksAndFormats) {
  const struct {
    int (*op)(FILE*, char*);
    int result;
    const char* out;
    const char* pieces = nullptr;  // in hex digits
    const char* script = nullptr;  // '0' to '9': the write takes at most that many; 'x': it fails
  } rows[] = {
      {ON_STREAM(fputc(0x141, f)), 0x141, "A", "1"},  // c comes back as given
      {ON_STREAM(fputc(-1, f)), -1, "\xFF", "1"},       {ON_STREAM(fputc('A', nullptr)), -1, "", ""},
      {ON_STREAM(fputs("abc", f)), 3, "abc", "3"},     {ON_STREAM(fputs("", f)), 0, "", ""},
      {ON_STREAM(fputs(nullptr, f)), -1, "", ""},      {ON_STREAM(fputs("", nullptr)), -1, "", ""},
      {ON_STREAM(puts("hi")), 0, "hi\n", "21"},        {ON_STREAM(puts(nullptr)), -1, "", ""},
      {ON_STREAM(puts("hi")), -1, "", "2", "x"},        // no newline follows a string that failed
      {ON_STREAM(puts("hi")), -1, "hi", "21", "9x"},    // nor is a failed newline a success
      {ON_STREAM(file_write_bytes(f, "abcdefg", 7)), 0, "abcdefg", "743", "31"},  // the rest, and again
      {ON_STREAM(file_write_bytes(f, "abcdefg", 7)), -1, "ab", "75", "2x"},  // what was taken stays
      {ON_STREAM(file_write_bytes(f, "abcdefg", 7)), -1, "", "7", "0"},  // a write taking nothing fails
      {ON_STREAM(fwrite("abcdefghijkl", 4, 3, f)), 3, "abcdefghijkl", "c"},
      {ON_STREAM(fwrite("abc", 0, 3, f) + fwrite("abc", 1, 0, f)), 0, "", ""},
      {ON_STREAM(fwrite("abc", 65536, 65536, f)), 0, "", ""},  // 2^32 bytes
      {ON_STREAM(fwrite(nullptr, 1, 1, f) + fwrite("a", 1, 1, nullptr)), 0, "", ""},
      {ON_STREAM(file_write_bytes(f, nullptr, 0)), -1, "", ""},  // null data fails even for 0 bytes
      {ON_STREAM(printf("%d|%5d|%.3d|%5.3d", 42, -42, 7, -7)), 18, "42|  -42|007| -007"},
      {ON_STREAM(printf("%.0d|%05d|%2d", 0, 42, 12345)), 13, "0|   42|12345"},  // 0 is a width digit
      {ON_STREAM(printf("[%*d|%*d|%*s]", -5, 42, INT32_MIN, 42, INT32_MIN, "ab")), 10, "[42|42|ab]"},
      {ON_STREAM(printf("[%.*d|%.*d|%.d]", 4, 42, -1, 42, 7)), 11, "[0042|42|7]"},
      {ON_STREAM(printf("%8.5d", -123)), 8, "  -00123", "111113"},  // spaces, sign, zeros one by one
      {ON_STREAM(printf("%7.3p", 0xAB)), 7, "  0x0ab", "111112"},
      {ON_STREAM(printf("%i|%u|%x|%p", -1, INT32_MIN, ~0u, 0)), 26, "-1|2147483648|ffffffff|0x0"},
      {ON_STREAM(printf("%lld|%llx|%d", INT64_MIN, ~0ull, INT32_MIN)), 49,
       "-9223372036854775808|ffffffffffffffff|-2147483648"},  // the 32-bit word after two 64-bit ones
      {ON_STREAM(printf("%llp|%24.22lld", 0x100001234ull, INT64_MIN)), 36,
       "0x100001234| -0009223372036854775808"},
      {ON_STREAM(printf("%s|%.2s|%8s", nullptr, nullptr, nullptr)), 18, "(null)|(n|  (null)"},
      {ON_STREAM(printf("%5s%%%q", "abc")), 8, "  abc%%q", "113111"},
      {ON_STREAM(printf("%s%.0s", "", "abc")), 0, "", ""},  // an empty string makes no write
      {ON_STREAM(printf("x%5c|%.3c|%c", 'A', 'B', 0x162)), 6, "xA|B|b"},  // the low byte, no width
      {ON_STREAM(printf("x%llc%lls%d", 'A', "s", 5)), 4, "xAs5"},  // "ll" widens integers only
      {ON_STREAM(printf("[%-5d]|%+d|%X|%lX|%hd")), 20, "[%-5d]|%+d|%X|%X|%hd"},  // no flags, %X, h
      {ON_STREAM(printf("%n%d|%*q%d|%llld", 7, 5, 9)), 11, "%n7|%q9|%ld"},  // '*' takes its word
      {ON_STREAM(printf("%5%|%c|abc%5.2l", 'A')), 7, "%|A|abc"},  // ends in a specification
      {ON_STREAM(printf("%cX", 1, 2, 3)), 1, "\xFF\x01\x02\x03X", "41"},  // a console sequence, uncounted
      {ON_STREAM(printf("%c%d", 0x141, 0x242, 0x343, 77)), 2, "\xFF" "ABC77", "42"},
      {ON_STREAM(printf("abc%d and more", 12345)), -1, "ab", "111", "99x"},  // what went out stays
      {ON_STREAM(printf("%cX", 1, 2, 3)), -1, "", "4", "x"},  // a failed console sequence fails the call
      {ON_STREAM(fprintf(stdin, "%cX", 1, 2, 3) + fprintf(nullptr, "x") + fprintf(f, nullptr)), -3, "", ""},
      {ON_STREAM(fprintf(stderr, "%c!", 'x', 'y', 'z')), 1, "\xFF" "xyz!", "41"},  // stderr is descriptor 1
  };
  for (const auto& r : rows) {
    vtest::at_row(static_cast<unsigned>(&r - rows));
    for (const char* a = r.script; a != nullptr && *a != '\0'; ++a)
      *a == 'x' ? vtest::script_result(SYS_write, -5) : vtest::script_short_write(*a - '0');
    CallRecorder calls;
    OutputCapture out;
    EXPECT_EQ(r.op(stdout, nullptr), r.result);
    EXPECT_EQ(out.stop(), strlen(r.out));
    EXPECT_STREQ(out.text(), r.out);
    char pieces[16] = {};
    for (int i = 0, n = calls.stop(); i < n && i < 15; ++i)
      pieces[i] = calls[i].edx < 16 ? "0123456789abcdef"[calls[i].edx] : '+';
    if (r.pieces != nullptr) EXPECT_STREQ(pieces, r.pieces);
    vtest::script_clear();
  }
}

static FILE g_memory = {STREAM_MEM};  // never read: only descriptor streams are

// Reads on descriptor 9 (pos 100), answered with `given` bytes of "0123456789AB" (or with
// `given` itself when it is not above 0): the result, pos and eof afterwards, and the one
// read of `asked` bytes made (0: none).
TEST(StreamInput, OneReadPerCallKeepsPosAndEof) {
  const char data[] = "0123456789AB";
  const struct {
    int (*op)(FILE*, char*);
    int32_t given, result;
    uint32_t asked;
    int32_t pos, eof;
  } rows[] = {
      {ON_STREAM(fgetc(f)), 1, '0', 1, 101, 0},   {ON_STREAM(fgetc(f)), 0, -1, 1, 100, 1},
      {ON_STREAM(getchar()), -5, -1, 1, 100, 1},  // stdin; an error reads as the end
      {ON_STREAM(fread(dest, 4, 3, f)), 12, 3, 12, 112, 0},
      {ON_STREAM(fread(dest, 4, 3, f)), 10, 2, 12, 110, 1},  // a part element: stored, in pos
      {ON_STREAM(fread(dest, 1, 5, f)), 0, 0, 5, 100, 1}, {ON_STREAM(fread(dest, 1, 5, f)), -5, 0, 5, 100, 1},
      {ON_STREAM(fgetc(nullptr) + fgetc(&g_memory)), 0, -2, 0, 100, 0},
      {ON_STREAM(fread(dest, 1, 4, &g_memory) + fread(dest, 1, 4, nullptr)), 0, 0, 0, 100, 0},
      {ON_STREAM(fread(nullptr, 1, 4, f) + fread(dest, 0, 4, f) + fread(dest, 4, 0, f)), 0, 0, 0, 100, 0},
      {ON_STREAM(fread(dest, 65536, 65536, f)), 0, 0, 0, 100, 0},  // 2^32 bytes
  };
  FILE* const saved = stdin;
  for (const auto& r : rows) {
    FILE stream = {STREAM_FD, 9, nullptr, nullptr, 0, 0, nullptr, nullptr, 0, 100};
    char dest[16] = {};
    if (r.asked != 0 && r.given > 0) vtest::script_input(data, uint32_t(r.given));
    if (r.asked != 0 && r.given <= 0) vtest::script_result(SYS_read, r.given);
    stdin = &stream;
    CallRecorder calls;
    const int result = r.op(&stream, dest);
    calls.stop();
    stdin = saved;
    const uint32_t want[] = {uint32_t(r.result), uint32_t(r.pos), uint32_t(r.eof), r.asked != 0,
                             SYS_read, 9, r.asked};
    const uint32_t got[] = {uint32_t(result), uint32_t(stream.pos), uint32_t(stream.eof), uint32_t(calls.count()),
                            calls[0].number, calls[0].ebx, calls[0].edx};
    EXPECT_BYTES(got, want, r.asked != 0 ? sizeof got : 4 * sizeof got[0]);
    if (r.asked > 1) EXPECT_BYTES(dest, data, r.given > 0 ? uint32_t(r.given) : 0);
  }
  // A raised eof stops nothing: the next read asks the kernel again, and eof stays.
  FILE stream = {STREAM_FD, 9, nullptr, nullptr, 0, 0, nullptr, nullptr, 3, 0, 1};
  vtest::script_input("\xFF", 1);
  EXPECT_EQ(fgetc(&stream), 0xFF);
  EXPECT_TRUE(stream.eof == 1 && ftell(&stream) == 1 && g_memory.eof == 0);
  // The status calls report the flags, both raised for a missing stream; nothing is buffered.
  EXPECT_TRUE(feof(&stream) == 1 && ferror(&stream) == 3 && feof(nullptr) == 1 && ferror(nullptr) == 1);
  EXPECT_TRUE(fflush(nullptr) == 0 && fflush(&stream) == 0);
}

// Spaces, tabs, carriage returns and newlines delimit words.
TEST(Fscanf, OneWordPerCallOneReadPerByteAtMost255Kept) {
  FILE stream = scripted_stream(" \t12\r34\n", 8);
  int a = 0, b = 0;
  CallRecorder calls;
  EXPECT_EQ(fscanf(&stream, "%d %d", &a, &b), 1);  // the format sees "12" alone
  EXPECT_TRUE(a == 12 && b == 0 && stream.pos == 5 && stream.eof == 0);  // the delimiter is gone
  EXPECT_TRUE(fscanf(&stream, "%d", &b) == 1 && b == 34 && stream.pos == 8 && stream.eof == 0);
  EXPECT_TRUE(fscanf(&stream, "%d", &b) == -1 && stream.eof == 1);  // only the end is left
  ASSERT_EQ(calls.stop(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(calls[i].number == SYS_read && calls[i].ebx == 9 && calls[i].edx == 1);
  FILE last = scripted_stream("12", 2);  // a word that ends the stream raises eof
  EXPECT_TRUE(fscanf(&last, "%d", &a) == 1 && a == 12 && last.eof == 1);
  CallRecorder none;  // refused without reading
  EXPECT_EQ(fscanf(&g_memory, "%d", &a) + fscanf(nullptr, "%d", &a) + fscanf(&stream, nullptr), -3);
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

// What fclose and a failed fopen hand back to the heap is not checked: the heap's free keeps
// nothing, so no program can tell.
static char g_path[] = "/docs/report.txt";
static char g_text[] = "abc";

TEST(Fopen, FirstModeCharacterDecidesAndDashNamesTheStandardStreams) {
  const struct { const char* path; const char* mode; FILE* result; } rows[] = {
      {nullptr, "r", stdin},      {"-", "rb", stdin},     {"-", "w+", stdout}, {"-", "a", nullptr},
      {g_path, nullptr, nullptr}, {g_path, "a", nullptr}, {g_path, "", nullptr}};
  CallRecorder none;
  for (const auto& r : rows) EXPECT_TRUE(fopen(r.path, r.mode) == r.result);
  EXPECT_EQ(none.stop(), 0);
  vtest::script_result(SYS_open, 5);
  vtest::script_result(SYS_open, -2);
  CallRecorder calls;
  FILE* reading = fopen(g_path, "r+");  // read-only whatever follows the 'r'
  EXPECT_TRUE(fopen(g_path, "r") == nullptr);
  FILE* writing = fopen(g_path, "w");  // touches nothing until fclose
  char* buf = g_text;
  size_t size = 9;
  FILE* memory = open_memstream(&buf, &size);  // the caller's variables cleared at once
  ASSERT_EQ(calls.stop(), 2);
  const uint32_t open_call[4] = {SYS_open, word(g_path), 0, 0};
  EXPECT_BYTES(&calls[0].number, open_call, sizeof open_call);
  ASSERT_TRUE(reading != nullptr && writing != nullptr && memory != nullptr);
  EXPECT_TRUE(writing->path != g_path && strcmp(writing->path, g_path) == 0);  // a private copy
  EXPECT_TRUE(buf == nullptr && size == 0);
  const FILE want[] = {{STREAM_FD, 5}, {STREAM_FILEBUF, 0, writing->path},
                       {STREAM_MEM, 0, nullptr, nullptr, 0, 0, &buf, &size}};
  FILE* const got[] = {reading, writing, memory};
  for (int i = 0; i < 3; ++i) EXPECT_BYTES(got[i], &want[i], sizeof(FILE));
}

TEST(Fopen, FailuresGiveBackTheDescriptorAndLeaveTheCallersVariables) {
  char* buf = g_text;
  size_t size = 9;
  EXPECT_TRUE(open_memstream(nullptr, &size) == nullptr && open_memstream(&buf, nullptr) == nullptr);
  const uint32_t used = g_heap_used;
  g_heap_used = vornos::kHeapSize;  // nothing fits
  vtest::script_result(SYS_open, 5);
  CallRecorder calls;
  EXPECT_TRUE(fopen(g_path, "r") == nullptr && open_memstream(&buf, &size) == nullptr && buf == g_text);
  g_heap_used = vornos::kHeapSize - 48;  // the record fits, its path copy does not
  EXPECT_TRUE(fopen(g_path, "w") == nullptr);
  g_heap_used = used;
  ASSERT_EQ(calls.stop(), 2);
  EXPECT_TRUE(calls[1].number == SYS_close && calls[1].ebx == 5);  // the new descriptor
}

TEST(Fclose, FinishesEachKind) {
  const struct {
    int kind, fd;
    char *path, *buf;
    uint32_t call;          // SYS_close, SYS_writefile or none
    int32_t answer, result;  // the call's, fclose's
  } rows[] = {
      {STREAM_FD, 7, nullptr, nullptr, SYS_close, -9, -9},  // the kernel's code unchanged
      {STREAM_FD, 2, nullptr, nullptr, 0, 0, 0},            // descriptors 0 to 2 stay open
      {STREAM_FILEBUF, 0, g_path, g_text, SYS_writefile, 1, 0},
      {STREAM_FILEBUF, 0, g_path, nullptr, SYS_writefile, 0, 0},  // never written: empty file
      {STREAM_FILEBUF, 0, g_path, g_text, SYS_writefile, -28, -1},
      {STREAM_FILEBUF, 0, nullptr, g_text, 0, 0, -1},
      {STREAM_MEM, 0, nullptr, g_text, 0, 0, 0},
  };
  for (const auto& r : rows) {
    FILE stream = {r.kind, r.fd, r.path, r.buf, r.buf != nullptr ? 3u : 0u};
    if (r.call != 0) vtest::script_result(r.call, r.answer);
    CallRecorder calls;
    EXPECT_EQ(fclose(&stream), r.result);
    ASSERT_EQ(calls.stop(), r.call != 0 ? 1 : 0);
    if (r.call == SYS_close) EXPECT_EQ(calls[0].ebx, uint32_t(r.fd));
    if (r.call == SYS_writefile) {
      EXPECT_TRUE(calls[0].ebx == word(r.path) && calls[0].edx == stream.len);
      EXPECT_STREQ(reinterpret_cast<const char*>(calls[0].ecx), r.buf != nullptr ? r.buf : "");
    }
  }
  EXPECT_EQ(fclose(nullptr), -1);
}

// The output calls read stdout at every call (on a buffer stream "%c" is ordinary), and fclose
// never closes a standard stream, whatever record the pointer names.
TEST(StandardStreams, TheCurrentRecordIsUsedAndNeverClosed) {
  FILE other = {STREAM_FILEBUF, 0, g_path};
  FILE* const saved = stdout;
  stdout = &other;
  CallRecorder calls;
  EXPECT_EQ(putchar('A') + puts("b") + printf("%cX%d", 'B', 7), 'A' + 3);
  EXPECT_TRUE(fclose(&other) == 0 && fclose(stdin) == 0 && fclose(stderr) == 0);
  stdout = saved;
  EXPECT_EQ(calls.stop(), 0);  // nothing written out
  EXPECT_STREQ(other.buf, "Ab\nBX7");
}

TEST(Position, OnlyDescriptorStreamsAboveTwoSeekAndEveryStreamRewinds) {
  FILE stream = {STREAM_FD, 5, nullptr, nullptr, 0, 0, nullptr, nullptr, 3, 10, 1};
  FILE memory = {STREAM_MEM, 5, nullptr, g_text, 3, 4, nullptr, nullptr, 3, 10, 1};
  FILE low = {STREAM_FD, 2};
  const int32_t answers[] = {-22, 40, -22, 0};
  for (int32_t a : answers) vtest::script_result(SYS_lseek, a);
  CallRecorder calls;
  EXPECT_TRUE(fseek(&stream, -8, SEEK_END) == -1 && stream.pos == 10 && stream.eof == 1);  // no change
  EXPECT_EQ(fseek(&stream, 7, SEEK_CUR), 0);  // the kernel's position, eof cleared
  EXPECT_TRUE(stream.pos == 40 && stream.eof == 0 && stream.error == 3);
  stream.eof = 1;
  rewind(&stream);  // failed: the position stays, the flags are cleared all the same
  EXPECT_TRUE(ftell(&stream) == 40 && stream.eof == 0 && stream.error == 0);
  stream.pos = 9;
  rewind(&stream);
  EXPECT_EQ(stream.pos, 0);
  FILE* const refused[] = {&memory, &low, stdin, nullptr};
  for (FILE* f : refused) EXPECT_TRUE(fseek(f, 0, SEEK_SET) == -1 && ftell(f) == -1);
  for (FILE* f : refused) rewind(f);  // no seek, only the flags cleared
  ASSERT_EQ(calls.stop(), 4);
  const uint32_t seeks[4][3] = {{5, uint32_t(-8), 2}, {5, 7, 1}, {5, 0, 0}, {5, 0, 0}};
  for (int i = 0; i < 4; ++i) EXPECT_BYTES(&calls[i].ebx, seeks[i], sizeof seeks[i]);
  const FILE want = {STREAM_MEM, 5, nullptr, g_text, 3, 4, nullptr, nullptr, 0, 10, 0};
  EXPECT_BYTES(&memory, &want, sizeof want);  // only the flags cleared
}
