// The write path (descriptor 1 through the kernel, every other kind into a growing buffer)
// and the operations that write through it: fputc, putchar, fputs, puts, fwrite.
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "kernel_control.h"
#include "stdio/file_write.h"
#include "stdlib/heap.h"
#include "vtest.h"

using vornos::file_write_bytes;
using vtest::CallRecorder;
using vtest::OutputCapture;

namespace {

uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// A record as an opener leaves it: every field zero but the kind.
FILE record_of(int kind) {
  FILE record = {};
  record.kind = kind;
  return record;
}

// The heap space a buffer of this capacity takes: header word, rounded up to 8.
uint32_t footprint(uint32_t capacity) { return (capacity + 11) & ~7u; }

char g_pattern[1024];  // 'A' + i % 23: a long text whose every slice is recognisable

}  // namespace

TEST(StreamWrite, RefusalsAndEmptyWritesTouchNothing) {
  FILE record = record_of(STREAM_MEM);
  const uint32_t used = g_heap_used;
  CallRecorder calls;
  EXPECT_EQ(file_write_bytes(nullptr, "x", 1), -1);
  EXPECT_EQ(file_write_bytes(stdout, nullptr, 0), -1);  // null data fails even for 0 bytes
  EXPECT_EQ(file_write_bytes(&record, nullptr, 0), -1);
  EXPECT_EQ(file_write_bytes(stdin, "x", 1), -1);  // only descriptor 1 can be written
  EXPECT_EQ(file_write_bytes(stdout, "x", 0), 0);
  EXPECT_EQ(file_write_bytes(stdin, "x", 0), 0);
  EXPECT_EQ(file_write_bytes(&record, "x", 0), 0);
  EXPECT_EQ(calls.stop(), 0);
  const FILE untouched = record_of(STREAM_MEM);
  EXPECT_BYTES(&record, &untouched, sizeof record);
  EXPECT_EQ(g_heap_used, used);
}

TEST(StreamWrite, DescriptorOneWritesTheRestAfterShortWritesAndStopsAtAFailure) {
  const char text[] = "abcdefg";
  const struct {
    int32_t first, second;  // scripted: above 0 a short write of at most that, else the result
    int result;
    const char* out;
    uint32_t pieces[3][2];  // each write's offset into text and length
  } cases[] = {{3, 1, 0, "abcdefg", {{0, 7}, {3, 4}, {4, 3}}},
               {2, -5, -1, "ab", {{0, 7}, {2, 5}}},  // what the kernel took stays written
               {0, 0, -1, "", {{0, 7}}}};            // a write that takes nothing fails
  for (const auto& c : cases) {
    const int32_t answers[] = {c.first, c.second};
    for (int32_t a : answers) a > 0 ? vtest::script_short_write(a) : vtest::script_result(SYS_write, a);
    CallRecorder calls;
    OutputCapture out;
    EXPECT_EQ(file_write_bytes(stdout, text, 7), c.result);
    out.stop();
    calls.stop();
    vtest::script_clear();
    EXPECT_STREQ(out.text(), c.out);
    const int n = c.pieces[2][1] != 0 ? 3 : c.pieces[1][1] != 0 ? 2 : 1;
    ASSERT_EQ(calls.count(), n);
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(calls[i].ebx, 1u);
      EXPECT_EQ(calls[i].ecx, word(text + c.pieces[i][0]));
      EXPECT_EQ(calls[i].edx, c.pieces[i][1]);
    }
  }
  // Above the signed range, pieces of the largest write (answered by script: no 2 GiB read).
  vtest::script_result(SYS_write, 0x7fffffff);
  vtest::script_result(SYS_write, 6);
  CallRecorder calls;
  EXPECT_EQ(file_write_bytes(stdout, text, 0x80000005u), 0);
  calls.stop();
  ASSERT_EQ(calls.count(), 2);
  EXPECT_EQ(calls[0].edx, 0x7fffffffu);
  EXPECT_EQ(calls[1].ecx, word(text) + 0x7fffffffu);
  EXPECT_EQ(calls[1].edx, 6u);
}

TEST(StreamWrite, BufferKindsGrowFrom256ByDoublingAndKeepANul) {
  for (uint32_t i = 0; i < sizeof g_pattern; ++i) g_pattern[i] = static_cast<char>('A' + i % 23);
  const struct {
    int kind;
    uint32_t first, second, len, cap, blocks;  // blocks: heap space of every buffer taken
  } cases[] = {
      {STREAM_MEM, 10, 0, 10, 256, footprint(256)},
      {STREAM_MEM, 255, 0, 255, 256, footprint(256)},  // 255 bytes and the NUL fill 256
      {STREAM_MEM, 256, 0, 256, 512, footprint(512)},
      {STREAM_MEM, 10, 246, 256, 512, footprint(256) + footprint(512)},
      {STREAM_FILEBUF, 10, 245, 255, 256, footprint(256)},
      {0, 1, 600, 601, 1024, footprint(256) + footprint(1024)},  // doubled twice at once
      {7, 512, 511, 1023, 1024, footprint(1024)},
  };
  for (const auto& c : cases) {
    char* caller_buf = nullptr;
    size_t caller_size = 77;
    FILE record = record_of(c.kind);
    record.user_buf = &caller_buf;
    record.user_size = &caller_size;
    record.error = 5;  // the flags and the position belong to other operations
    record.pos = 6;
    record.eof = 7;
    const uint32_t used = g_heap_used;
    ASSERT_EQ(file_write_bytes(&record, g_pattern, c.first), 0);
    ASSERT_EQ(file_write_bytes(&record, g_pattern + c.first, c.second), 0);
    EXPECT_EQ(record.len, c.len);
    EXPECT_EQ(record.cap, c.cap);
    EXPECT_BYTES(record.buf, g_pattern, c.len);
    EXPECT_EQ(record.buf[c.len], '\0');
    EXPECT_EQ(g_heap_used - used, c.blocks);
    EXPECT_TRUE(record.error == 5 && record.pos == 6 && record.eof == 7);
    // Only a memory stream hands its buffer to the caller.
    EXPECT_TRUE(caller_buf == (c.kind == STREAM_MEM ? record.buf : nullptr));
    EXPECT_EQ(caller_size, c.kind == STREAM_MEM ? c.len : 77u);
  }
  FILE record = record_of(STREAM_MEM);  // a byte at a time: three blocks, 256, 512, 1024
  const uint32_t used = g_heap_used;
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(file_write_bytes(&record, "z", 1), 0);
  EXPECT_EQ(g_heap_used - used, footprint(256) + footprint(512) + footprint(1024));
}

TEST(StreamWrite, GrowthThatDoesNotFitLeavesTheRecordUnchanged) {
  char existing[8] = "abc";
  const struct {
    uint32_t len, cap, count;
    bool reaches_realloc;
  } cases[] = {
      {0, 0, 0xFFFFFFFFu, false},  // len + count + 1 wraps
      {0xFFFFFFF0u, 0xFFFFFFF8u, 0x10, false},
      {0x80000000u, 0x80000000u, 1, false},  // doubling the capacity wraps
      {0, 0, 0x100000, true},                // fits the arithmetic, not the 1 MiB heap
  };
  for (const auto& c : cases) {
    FILE record = record_of(STREAM_MEM);
    record.buf = c.len != 0 ? existing : nullptr;
    record.len = c.len;
    record.cap = c.cap;
    const FILE before = record;
    const uint32_t used = g_heap_used;
    errno = 0;
    EXPECT_EQ(file_write_bytes(&record, "x", c.count), -1);
    EXPECT_BYTES(&record, &before, sizeof record);
    EXPECT_EQ(g_heap_used, used);
    EXPECT_EQ(errno, c.reaches_realloc ? ENOMEM : 0);  // only the heap sets errno
  }
  EXPECT_STREQ(existing, "abc");
}

// Each row runs once on a memory stream and once on descriptor 1 (stdout pointing at the
// stream): the same result and the same bytes, in `writes` kernel writes on descriptor 1.
TEST(StreamOutput, CharactersStringsAndBlocks) {
  const struct {
    const char* name;
    int (*op)(FILE*);
    int result;
    const char* bytes;
    int writes;
  } rows[] = {
      {"fputc", [](FILE* f) { return fputc('A', f); }, 'A', "A", 1},
      {"fputc high", [](FILE* f) { return fputc(0x141, f); }, 0x141, "A", 1},  // c as given
      {"fputc -1", [](FILE* f) { return fputc(-1, f); }, -1, "\xFF", 1},
      {"fputc null", [](FILE*) { return fputc('A', nullptr); }, -1, "", 0},
      {"putchar", [](FILE*) { return putchar('z'); }, 'z', "z", 1},
      {"fputs", [](FILE* f) { return fputs("abc", f); }, 3, "abc", 1},
      {"fputs empty", [](FILE* f) { return fputs("", f); }, 0, "", 0},
      {"fputs null", [](FILE* f) { return fputs(nullptr, f); }, -1, "", 0},
      {"fputs null stream", [](FILE*) { return fputs("", nullptr); }, -1, "", 0},
      {"puts", [](FILE*) { return puts("hi"); }, 0, "hi\n", 2},
      {"puts empty", [](FILE*) { return puts(""); }, 0, "\n", 1},
      {"puts null", [](FILE*) { return puts(nullptr); }, -1, "", 0},
      {"fwrite", [](FILE* f) { return int(fwrite("abcdefghijkl", 4, 3, f)); }, 3, "abcdefghijkl", 1},
      {"fwrite size 0", [](FILE* f) { return int(fwrite("abc", 0, 3, f)); }, 0, "", 0},
      {"fwrite count 0", [](FILE* f) { return int(fwrite("abc", 1, 0, f)); }, 0, "", 0},
      {"fwrite 2^32", [](FILE* f) { return int(fwrite("abc", 65536, 65536, f)); }, 0, "", 0},
      {"fwrite null", [](FILE* f) { return int(fwrite(nullptr, 1, 1, f)); }, 0, "", 0},
      {"fwrite null stream", [](FILE*) { return int(fwrite("a", 1, 1, nullptr)); }, 0, "", 0},
  };
  FILE* const saved = stdout;
  for (const auto& r : rows) {
    FILE memory = record_of(STREAM_MEM);
    stdout = &memory;
    const int on_memory = r.op(&memory);
    stdout = saved;
    CallRecorder calls;
    OutputCapture out;
    const int on_descriptor = r.op(stdout);
    out.stop();
    calls.stop();
    const char* held = memory.buf != nullptr ? memory.buf : "";
    if (on_memory != r.result || on_descriptor != r.result || strcmp(held, r.bytes) != 0 ||
        strcmp(out.text(), r.bytes) != 0 || calls.count() != r.writes) {
      vtest::name_case("stream output", r.name);
    }
    EXPECT_EQ(on_memory, r.result);
    EXPECT_EQ(on_descriptor, r.result);
    EXPECT_STREQ(held, r.bytes);
    EXPECT_STREQ(out.text(), r.bytes);
    EXPECT_EQ(calls.count(), r.writes);
  }
}

TEST(StreamOutput, FailuresOfTheWritePathAreReported) {
  CallRecorder calls;
  EXPECT_EQ(fputc('A', stdin), -1);  // descriptor 0 cannot be written
  EXPECT_EQ(fputs("abc", stdin), -1);
  EXPECT_EQ(fwrite("abc", 1, 3, stdin), 0u);
  EXPECT_EQ(calls.stop(), 0);
  vtest::script_result(SYS_write, -5);
  CallRecorder failing;
  EXPECT_EQ(puts("hi"), -1);  // no newline follows a string that failed
  EXPECT_EQ(failing.stop(), 1);
  vtest::script_short_write(100);
  vtest::script_result(SYS_write, 0);
  OutputCapture out;
  EXPECT_EQ(puts("hi"), -1);  // nor is a failed newline a success
  EXPECT_EQ(out.stop(), 2u);
}
