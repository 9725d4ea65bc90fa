// Pipes: the buffer's capacity and order, short writes, the end of data, the broken pipe, and
// the answer that makes the caller wait instead of a result.
#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <vector>

#include "pipes/pipe.h"

namespace vornos::kernel {
namespace {

constexpr int32_t kBadDescriptor = -9;
constexpr int32_t kBrokenPipe = -32;
constexpr int32_t kWouldWait = -512;  // never reaches a program: the event loop serves the call again
constexpr size_t kCapacity = 64 * 1024;

// Bytes numbered from `first`, so that a lost, repeated or reordered byte shows.
std::vector<std::byte> numbered(size_t count, size_t first = 0) {
  std::vector<std::byte> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::byte>((first + i) % 251);
  return bytes;
}

struct Ends {
  std::shared_ptr<Pipe> pipe = std::make_shared<Pipe>();
  std::unique_ptr<PipeEnd> reader = std::make_unique<PipeEnd>(pipe, PipeEnd::Side::read);
  std::unique_ptr<PipeEnd> writer = std::make_unique<PipeEnd>(pipe, PipeEnd::Side::write);

  int32_t write(size_t count, size_t first = 0) { return writer->write(numbered(count, first)); }
  // Reads `count` bytes and says whether they are the numbers from `first` on.
  testing::AssertionResult reads(size_t count, size_t first) {
    std::vector<std::byte> got(count);
    const int32_t result = reader->read(got);
    if (result != static_cast<int32_t>(count)) return testing::AssertionFailure() << "read answered " << result;
    if (got != numbered(count, first)) return testing::AssertionFailure() << "bytes out of order";
    return testing::AssertionSuccess();
  }
};

TEST(Pipe, HoldsItsCapacityAndWritesShortWhenFull) {
  Ends ends;
  EXPECT_EQ(ends.write(kCapacity + 10), static_cast<int32_t>(kCapacity));
  EXPECT_EQ(ends.pipe->buffered(), kCapacity);
  EXPECT_EQ(ends.write(1), kWouldWait);  // full: the writer waits for room
  EXPECT_TRUE(ends.reads(10, 0));
  EXPECT_EQ(ends.write(25, kCapacity), 10);  // what fits of it
  EXPECT_TRUE(ends.reads(kCapacity - 10, 10));
  EXPECT_TRUE(ends.reads(10, kCapacity));
  EXPECT_EQ(ends.pipe->buffered(), 0u);
}

TEST(Pipe, KeepsOrderAcrossTheEndOfItsBuffer) {
  Ends ends;
  const struct {
    size_t written, read;
  } steps[] = {{60000, 50000}, {40000, 0}, {10000, 30000}, {30000, 50000}, {55536, 100}, {100, kCapacity}};
  size_t next_written = 0, next_read = 0;
  for (const auto& step : steps) {
    ASSERT_EQ(ends.write(step.written, next_written), static_cast<int32_t>(step.written));
    next_written += step.written;
    ASSERT_TRUE(ends.reads(step.read, next_read)) << "after " << next_read << " bytes read";
    next_read += step.read;
  }
  EXPECT_EQ(ends.pipe->buffered(), next_written - next_read);
}

TEST(Pipe, ReadsWhatThereIsThenEndOfDataOnceNoWriterIsLeft) {
  Ends ends;
  std::vector<std::byte> room(100);
  EXPECT_EQ(ends.reader->read(room), kWouldWait);  // empty with a writer: wait
  EXPECT_EQ(ends.reader->read(std::span(room).first(0)), 0);
  EXPECT_EQ(ends.write(30), 30);
  EXPECT_EQ(ends.reader->read(room), 30);  // what there is, not what was asked
  EXPECT_EQ(ends.write(5), 5);
  ends.writer.reset();
  EXPECT_TRUE(ends.reads(5, 0));  // written before the writer went
  EXPECT_EQ(ends.reader->read(room), 0);
  EXPECT_EQ(ends.reader->read(room), 0);
}

TEST(Pipe, WriteWithoutReaderIsBrokenPipe) {
  Ends ends;
  auto second_reader = std::make_unique<PipeEnd>(ends.pipe, PipeEnd::Side::read);
  ends.reader.reset();
  EXPECT_EQ(ends.write(3), 3);  // one reader is enough
  second_reader.reset();
  EXPECT_EQ(ends.write(3), kBrokenPipe);
  EXPECT_EQ(ends.write(0), 0);  // writing nothing succeeds, as on Unix
  EXPECT_EQ(ends.pipe->buffered(), 0u);  // what no one can read any more is dropped
}

TEST(Pipe, EachEndGoesOneWay) {
  Ends ends;
  std::vector<std::byte> room(4);
  EXPECT_EQ(ends.writer->read(room), kBadDescriptor);
  EXPECT_EQ(ends.reader->write(room), kBadDescriptor);
  EXPECT_EQ(ends.reader->seek(0, 0), -29);
  EXPECT_EQ(ends.writer->side(), PipeEnd::Side::write);
  EXPECT_EQ(&ends.reader->pipe(), ends.pipe.get());
}

TEST(Pipe, CountsItsEndsForAFifo) {
  Ends ends;
  {
    PipeEnd another_writer(ends.pipe, PipeEnd::Side::write);
    EXPECT_EQ(ends.pipe->writers, 2);
  }
  ends.writer.reset();
  EXPECT_EQ(ends.pipe->readers, 1);
  EXPECT_EQ(ends.pipe->writers, 0);
  // A fifo's reader can still tell that writers came and went.
  EXPECT_EQ(ends.pipe->writer_opens, 2u);
  EXPECT_EQ(ends.pipe->reader_opens, 1u);
}

}  // namespace
}  // namespace vornos::kernel
