// The write path: descriptor streams through the kernel, every other kind into a growing
// buffer. Reached directly through its private header, and through fprintf.
#include <errno.h>
#include <stdint.h>
#include <stdio.h>

#include "kernel_control.h"
#include "stdio/file_write.h"
#include "stdlib/heap.h"
#include "vtest.h"

using vornos::file_write_bytes;
using vtest::CallRecorder;
using vtest::OutputCapture;

namespace {

uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// A buffer-kind record as an opener leaves it: every field zero but the kind.
FILE buffer_record(int kind) {
  FILE record = {};
  record.kind = kind;
  return record;
}

// The heap space a buffer of this capacity takes: header word, rounded up to 8.
uint32_t footprint(uint32_t capacity) { return (capacity + 11) & ~7u; }

void fill(char* bytes, uint32_t n, char first) {
  for (uint32_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(first + i % 23);
}

bool holds_pattern(const char* bytes, uint32_t n, char first) {
  for (uint32_t i = 0; i < n; ++i) {
    if (bytes[i] != static_cast<char>(first + i % 23)) return false;
  }
  return true;
}

}  // namespace

TEST(StreamWrite, RefusesNullStreamAndNullDataEvenForZeroBytes) {
  FILE record = buffer_record(STREAM_MEM);
  const uint32_t used = g_heap_used;
  CallRecorder calls;
  EXPECT_EQ(file_write_bytes(nullptr, "x", 1), -1);
  EXPECT_EQ(file_write_bytes(stdout, nullptr, 0), -1);
  EXPECT_EQ(file_write_bytes(stdout, nullptr, 1), -1);
  EXPECT_EQ(file_write_bytes(&record, nullptr, 0), -1);
  EXPECT_EQ(calls.stop(), 0);
  EXPECT_TRUE(record.buf == nullptr);
  EXPECT_EQ(g_heap_used, used);
}

TEST(StreamWrite, ZeroBytesSucceedWithoutCallOrAllocation) {
  FILE record = buffer_record(STREAM_MEM);
  const uint32_t used = g_heap_used;
  CallRecorder calls;
  EXPECT_EQ(file_write_bytes(stdout, "x", 0), 0);
  EXPECT_EQ(file_write_bytes(stdin, "x", 0), 0);
  EXPECT_EQ(file_write_bytes(&record, "x", 0), 0);
  EXPECT_EQ(calls.stop(), 0);
  EXPECT_TRUE(record.buf == nullptr);
  EXPECT_EQ(record.len, 0u);
  EXPECT_EQ(record.cap, 0u);
  EXPECT_EQ(g_heap_used, used);
}

TEST(StreamWrite, DescriptorStreamWritesOnlyDescriptorOne) {
  FILE other = {STREAM_FD, 2, nullptr, nullptr, 0, 0, nullptr, nullptr, 0, 0, 0};
  const char text[] = "abc";
  CallRecorder calls;
  OutputCapture out;
  EXPECT_EQ(file_write_bytes(stdin, text, 3), -1);
  EXPECT_EQ(file_write_bytes(&other, text, 3), -1);
  other.fd = 1;
  EXPECT_EQ(file_write_bytes(&other, text, 3), 0);
  out.stop();
  calls.stop();
  EXPECT_STREQ(out.text(), "abc");
  ASSERT_EQ(calls.count(), 1);
  EXPECT_EQ(calls[0].number, static_cast<uint32_t>(SYS_write));
  EXPECT_EQ(calls[0].ebx, 1u);
  EXPECT_EQ(calls[0].ecx, word(text));
  EXPECT_EQ(calls[0].edx, 3u);
}

TEST(StreamWrite, ShortWritesAreFollowedByWritesOfTheRest) {
  vtest::script_short_write(3);
  vtest::script_short_write(1);
  const char text[] = "abcdefg";
  CallRecorder calls;
  OutputCapture out;
  EXPECT_EQ(file_write_bytes(stdout, text, 7), 0);
  out.stop();
  calls.stop();
  EXPECT_STREQ(out.text(), "abcdefg");
  ASSERT_EQ(calls.count(), 3);
  EXPECT_EQ(calls[0].ecx, word(text));
  EXPECT_EQ(calls[0].edx, 7u);
  EXPECT_EQ(calls[1].ecx, word(text + 3));
  EXPECT_EQ(calls[1].edx, 4u);
  EXPECT_EQ(calls[2].ecx, word(text + 4));
  EXPECT_EQ(calls[2].edx, 3u);
}

TEST(StreamWrite, FailingOrEmptyWriteEndsWithoutRetryAndTakenBytesStay) {
  {
    vtest::script_short_write(2);
    vtest::script_result(SYS_write, -5);
    CallRecorder calls;
    OutputCapture out;
    EXPECT_EQ(file_write_bytes(stdout, "abcdef", 6), -1);
    out.stop();
    calls.stop();
    EXPECT_STREQ(out.text(), "ab");
    EXPECT_EQ(calls.count(), 2);
  }
  {
    vtest::script_result(SYS_write, 0);
    CallRecorder calls;
    EXPECT_EQ(file_write_bytes(stdout, "abcdef", 6), -1);
    EXPECT_EQ(calls.stop(), 1);
  }
}

TEST(StreamWrite, CountsAboveTheSignedRangeGoInPiecesOfTheLargestWrite) {
  // Answered by script, so the kernel never reads the (nonexistent) 2 GiB.
  vtest::script_result(SYS_write, 0x7fffffff);
  vtest::script_result(SYS_write, 6);
  const char text[] = "x";
  CallRecorder calls;
  EXPECT_EQ(file_write_bytes(stdout, text, 0x80000005u), 0);
  calls.stop();
  ASSERT_EQ(calls.count(), 2);
  EXPECT_EQ(calls[0].edx, 0x7fffffffu);
  EXPECT_EQ(calls[1].ecx, word(text) + 0x7fffffffu);
  EXPECT_EQ(calls[1].edx, 6u);
}

TEST(StreamWrite, MemoryStreamKeepsTerminatedBufferAndCallerVariables) {
  char* caller_buf = nullptr;
  size_t caller_size = 99;
  FILE record = buffer_record(STREAM_MEM);
  record.user_buf = &caller_buf;
  record.user_size = &caller_size;
  record.error = 5;
  record.pos = 6;
  record.eof = 7;
  const uint32_t used = g_heap_used;
  errno = 0;
  CallRecorder calls;
  EXPECT_EQ(file_write_bytes(&record, "0123456789", 10), 0);
  EXPECT_EQ(calls.stop(), 0);
  ASSERT_TRUE(record.buf != nullptr);
  EXPECT_EQ(record.len, 10u);
  EXPECT_EQ(record.cap, 256u);
  EXPECT_BYTES(record.buf, "0123456789\0", 11);
  EXPECT_TRUE(caller_buf == record.buf);
  EXPECT_EQ(caller_size, 10u);
  EXPECT_EQ(g_heap_used - used, footprint(256));
  // The flags and position belong to other operations.
  EXPECT_EQ(record.error, 5);
  EXPECT_EQ(record.pos, 6);
  EXPECT_EQ(record.eof, 7);
  EXPECT_EQ(errno, 0);

  EXPECT_EQ(file_write_bytes(&record, "ab", 2), 0);
  EXPECT_BYTES(record.buf, "0123456789ab\0", 13);
  EXPECT_EQ(caller_size, 12u);
  EXPECT_EQ(g_heap_used - used, footprint(256));  // no growth needed
}

TEST(StreamWrite, CapacityStartsAt256AndDoublesThroughRealloc) {
  static char data[1024];
  fill(data, sizeof data, 'A');
  char* caller_buf = nullptr;
  size_t caller_size = 0;
  FILE record = buffer_record(STREAM_MEM);
  record.user_buf = &caller_buf;
  record.user_size = &caller_size;
  const uint32_t caps[] = {256, 512, 1024};
  const char* previous = nullptr;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(file_write_bytes(&record, data + 200 * i, 200), 0);
    EXPECT_EQ(record.cap, caps[i]);
    EXPECT_EQ(record.len, 200u * (i + 1));
    EXPECT_TRUE(record.buf != previous);  // growth always takes a fresh block
    EXPECT_TRUE(holds_pattern(record.buf, record.len, 'A'));
    EXPECT_EQ(record.buf[record.len], '\0');
    EXPECT_TRUE(caller_buf == record.buf);
    EXPECT_EQ(caller_size, record.len);
    previous = record.buf;
  }
}

TEST(StreamWrite, GrowthHappensOnlyWhenTheTerminatorNoLongerFits) {
  static char data[600];
  fill(data, sizeof data, 'a');
  struct Case {
    uint32_t first, second, len, cap;
  };
  const Case cases[] = {
      {255, 0, 255, 256},   // 255 bytes and the NUL fill 256 exactly
      {256, 0, 256, 512},   // one more needs 257
      {512, 0, 512, 1024},
      {10, 245, 255, 256},
      {10, 246, 256, 512},
      {1, 600, 601, 1024},  // doubled twice in one growth
  };
  for (const Case& c : cases) {
    FILE record = buffer_record(STREAM_FILEBUF);
    ASSERT_EQ(file_write_bytes(&record, data, c.first), 0);
    ASSERT_EQ(file_write_bytes(&record, data, c.second), 0);
    EXPECT_EQ(record.len, c.len);
    EXPECT_EQ(record.cap, c.cap);
    EXPECT_TRUE(holds_pattern(record.buf, c.first, 'a'));
    EXPECT_TRUE(holds_pattern(record.buf + c.first, c.second, 'a'));
    EXPECT_EQ(record.buf[c.len], '\0');
  }
}

TEST(StreamWrite, OnlyAMemoryStreamUpdatesTheCallerVariables) {
  const int kinds[] = {0, STREAM_FILEBUF, 7};
  for (int kind : kinds) {
    char* caller_buf = nullptr;
    size_t caller_size = 77;
    FILE record = buffer_record(kind);
    record.user_buf = &caller_buf;
    record.user_size = &caller_size;
    EXPECT_EQ(file_write_bytes(&record, "hey", 3), 0);
    ASSERT_TRUE(record.buf != nullptr);
    EXPECT_STREQ(record.buf, "hey");
    EXPECT_EQ(record.cap, 256u);
    EXPECT_TRUE(caller_buf == nullptr);
    EXPECT_EQ(caller_size, 77u);
  }
  // A memory stream missing either variable updates neither.
  char* caller_buf = nullptr;
  FILE record = buffer_record(STREAM_MEM);
  record.user_buf = &caller_buf;
  EXPECT_EQ(file_write_bytes(&record, "hey", 3), 0);
  EXPECT_STREQ(record.buf, "hey");
  EXPECT_TRUE(caller_buf == nullptr);
}

TEST(StreamWrite, GrowthThatDoesNotFitLeavesTheRecordUnchanged) {
  char existing[8] = "abc";
  const char data[] = "x";
  struct Case {
    uint32_t len, cap, count;
    bool reaches_realloc;
  };
  const Case cases[] = {
      {0, 0, 0xFFFFFFFFu, false},           // len + count + 1 wraps
      {0xFFFFFFF0u, 0xFFFFFFF8u, 0x10, false},
      {0x80000000u, 0x80000000u, 1, false},  // doubling the capacity wraps
      {0, 0, 0x100000, true},                // fits the arithmetic, not the 1 MiB heap
  };
  for (const Case& c : cases) {
    FILE record = buffer_record(STREAM_MEM);
    record.buf = c.len != 0 ? existing : nullptr;
    record.len = c.len;
    record.cap = c.cap;
    const FILE before = record;
    const uint32_t used = g_heap_used;
    errno = 0;
    EXPECT_EQ(file_write_bytes(&record, data, c.count), -1);
    EXPECT_BYTES(&record, &before, sizeof record);
    EXPECT_EQ(g_heap_used, used);
    // Only a failed realloc reports through errno; the arithmetic check sets nothing.
    EXPECT_EQ(errno, c.reaches_realloc ? ENOMEM : 0);
  }
  EXPECT_STREQ(existing, "abc");
}

TEST(StreamWrite, FormatterWritesIntoBufferKinds) {
  FILE record = buffer_record(STREAM_MEM);
  // No console sequence off descriptor streams: a leading "%c" is an ordinary conversion.
  EXPECT_EQ(fprintf(&record, "%cX", 'A'), 2);
  EXPECT_EQ(fprintf(&record, "|%5d|%s", -42, "ok"), 9);
  ASSERT_TRUE(record.buf != nullptr);
  EXPECT_STREQ(record.buf, "AX|  -42|ok");
  EXPECT_EQ(record.len, 11u);

  FILE console_like = buffer_record(STREAM_FILEBUF);
  console_like.fd = 1;  // the descriptor is irrelevant to a buffer kind
  EXPECT_EQ(fprintf(&console_like, "%c", 'Z', 'Y', 'X'), 1);
  EXPECT_STREQ(console_like.buf, "Z");
}

TEST(StreamWrite, BytesWrittenOneAtATimeReallocateOnlyLogarithmically) {
  FILE record = buffer_record(STREAM_MEM);
  const uint32_t used = g_heap_used;
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(file_write_bytes(&record, "z", 1), 0);
  EXPECT_EQ(record.len, 1000u);
  EXPECT_EQ(record.cap, 1024u);
  // Exactly three blocks: 256, 512, 1024.
  EXPECT_EQ(g_heap_used - used, footprint(256) + footprint(512) + footprint(1024));
}
