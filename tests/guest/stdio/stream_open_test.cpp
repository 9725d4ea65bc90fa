// Making, ending and positioning streams: fopen, open_memstream, fclose, fseek, ftell, rewind.
#include <stdio.h>
#include <string.h>

#include "kernel_control.h"
#include "stdio/standard_streams.h"
#include "stdlib/heap.h"
#include "vtest.h"

using vtest::CallRecorder;
using vtest::word;

// What fclose and a failed fopen hand back to the heap is not checked: the heap's free keeps
// nothing, so no program can tell.
namespace {

char g_path[] = "/docs/report.txt";
char g_text[] = "abc";

}  // namespace

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
  const FILE want_reading = {STREAM_FD, 5};
  EXPECT_BYTES(reading, &want_reading, sizeof(FILE));
  ASSERT_TRUE(writing != nullptr && memory != nullptr);
  const FILE want_writing = {STREAM_FILEBUF, 0, writing->path};
  EXPECT_BYTES(writing, &want_writing, sizeof(FILE));
  EXPECT_TRUE(writing->path != g_path && strcmp(writing->path, g_path) == 0);  // a private copy
  const FILE want_memory = {STREAM_MEM, 0, nullptr, nullptr, 0, 0, &buf, &size};
  EXPECT_BYTES(memory, &want_memory, sizeof(FILE));
  EXPECT_TRUE(buf == nullptr && size == 0);
}

TEST(Fopen, FailuresGiveBackTheDescriptorAndLeaveTheCallersVariables) {
  char* buf = g_text;
  size_t size = 9;
  EXPECT_TRUE(open_memstream(nullptr, &size) == nullptr && open_memstream(&buf, nullptr) == nullptr);
  const uint32_t used = g_heap_used;
  g_heap_used = vornos::kHeapSize;  // nothing fits
  vtest::script_result(SYS_open, 5);
  CallRecorder calls;
  EXPECT_TRUE(fopen(g_path, "r") == nullptr && open_memstream(&buf, &size) == nullptr);
  EXPECT_TRUE(buf == g_text && size == 9);
  g_heap_used = vornos::kHeapSize - 48;  // the record fits, its path copy does not
  EXPECT_TRUE(fopen(g_path, "w") == nullptr);
  g_heap_used = used;
  ASSERT_EQ(calls.stop(), 2);
  EXPECT_TRUE(calls[1].number == SYS_close && calls[1].ebx == 5);  // the new descriptor
}

TEST(Fclose, FinishesEachKindAndLeavesTheStandardStreams) {
  const struct {
    int kind, fd;
    char *path, *buf;
    uint32_t call;   // SYS_close, SYS_writefile or none
    int32_t answer;  // its answer
    int result;
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
  // The standard streams are never closed, also when the pointers name other records.
  FILE other = {STREAM_FILEBUF, 0, g_path};
  FILE* const saved = stdout;
  stdout = &other;
  CallRecorder calls;
  EXPECT_TRUE(fclose(&other) == 0 && fclose(&g_stdout) == 0 && fclose(stdin) == 0 && fclose(stderr) == 0);
  stdout = saved;
  EXPECT_EQ(fclose(nullptr), -1);
  EXPECT_EQ(calls.stop(), 0);  // nothing written out
}

TEST(Position, OnlyDescriptorStreamsAboveTwoSeekAndEveryStreamRewinds) {
  FILE stream = {STREAM_FD, 5, nullptr, nullptr, 0, 0, nullptr, nullptr, 3, 10, 1};
  FILE memory = {STREAM_MEM, 5, nullptr, g_text, 3, 4, nullptr, nullptr, 3, 10, 1};
  FILE low = {STREAM_FD, 2, nullptr, nullptr, 0, 0, nullptr, nullptr, 0, 10, 0};
  const int32_t answers[] = {-22, 40, -22, 0};
  for (int32_t a : answers) vtest::script_result(SYS_lseek, a);
  CallRecorder calls;
  EXPECT_EQ(fseek(&stream, -8, SEEK_END), -1);  // a failed seek changes nothing
  EXPECT_TRUE(stream.pos == 10 && stream.eof == 1);
  EXPECT_EQ(fseek(&stream, 7, SEEK_CUR), 0);  // the kernel's position, eof cleared
  EXPECT_TRUE(stream.pos == 40 && stream.eof == 0 && stream.error == 3 && ftell(&stream) == 40);
  stream.eof = 1;
  rewind(&stream);  // failed: the position stays, the flags are cleared all the same
  EXPECT_TRUE(stream.pos == 40 && stream.eof == 0 && stream.error == 0);
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
