// The call table: write, read, exit, repair_dirents and unknown calls, over fake memory
// and host pipes.
#include <gtest/gtest.h>
#include <signal.h>

#include <fcntl.h>

#include <algorithm>
#include <random>
#include <string>

#include "calls/call_table.h"
#include "calls/error_codes.h"
#include "fake_memory.h"
#include "host_pipe.h"
#include "test_hooks/control_abi.h"
#include "calls/call_numbers.h"

namespace vornos::kernel {
namespace {

using testing::FakeMemory;
using testing::HostPipe;

// An output device that takes at most `limit` bytes per write, as a full disk or a
// signal-interrupted pipe may.
class StingyOutput final : public Device {
 public:
  explicit StingyOutput(size_t limit) : limit_(limit) {}
  int32_t read(std::span<std::byte>) override { return kBadDescriptor; }
  int32_t write(std::span<const std::byte> source) override {
    const size_t taken = std::min(source.size(), limit_);
    written.append(reinterpret_cast<const char*>(source.data()), taken);
    return static_cast<int32_t>(taken);
  }
  std::string written;

 private:
  size_t limit_;
};

class RecordingFileSystem final : public FileSystem {
 public:
  int32_t repair_dirents(std::string_view path) override {
    paths.emplace_back(path);
    return 3;
  }
  std::vector<std::string> paths;
};

class CallTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);
    memory.map(kData, 2 * FakeMemory::kPage);
    memory.map(kReadOnly, FakeMemory::kPage, /*writable=*/false);
  }
  int32_t serve(uint32_t number, std::array<uint32_t, 6> args = {}) { return table.serve({number, args}, memory).result; }

  static constexpr uint32_t kData = 0x600000;      // two writable pages, then nothing
  static constexpr uint32_t kDataEnd = kData + 2 * FakeMemory::kPage;
  static constexpr uint32_t kReadOnly = 0x700000;
  FakeMemory memory;
  HostPipe input_pipe, output_pipe;
  HostInput input{input_pipe.read_end};
  HostOutput output{output_pipe.write_end};
  DescriptorTable descriptors{input, output};
  CallTable table{descriptors, nullptr, nullptr};
};

TEST_F(CallTableTest, WriteSendsExactlyTheCountedBytesToDescriptorOne) {
  memory.poke(kData, "hello, world");
  EXPECT_EQ(serve(call::write, {1, kData, 5}), 5);
  EXPECT_EQ(serve(call::write, {1, kData + 5, 0}), 0);
  EXPECT_EQ(output_pipe.drain(), "hello");
}

TEST_F(CallTableTest, WriteToDescriptorsThatAreNotOpenForWriting) {
  memory.poke(kData, "x");
  for (uint32_t fd : {0u, 2u, 3u, 0xffffffffu}) EXPECT_EQ(serve(call::write, {fd, kData, 1}), kBadDescriptor) << fd;
  EXPECT_EQ(output_pipe.drain(), "");
}

TEST_F(CallTableTest, WriteFromBadMemoryTakesWhatIsReadable) {
  EXPECT_EQ(serve(call::write, {1, 0, 5}), kBadAddress);
  EXPECT_EQ(serve(call::write, {1, kDataEnd, 1}), kBadAddress);
  // A buffer that runs off the mapped pages: the bytes before the gap go out and are counted.
  memory.poke(kDataEnd - 3, "end");
  EXPECT_EQ(serve(call::write, {1, kDataEnd - 3, 10}), 3);
  // A count beyond the largest result is taken as the largest; the buffer still ends early.
  EXPECT_EQ(serve(call::write, {1, kDataEnd - 2, 0xffffffff}), 2);
  EXPECT_EQ(output_pipe.drain(), "endnd");
}

TEST_F(CallTableTest, ShortHostWritesAreReportedNotLost) {
  StingyOutput stingy(4);
  DescriptorTable stingy_descriptors(input, stingy);
  CallTable stingy_table(stingy_descriptors, nullptr, nullptr);
  memory.poke(kData, "abcdefgh");
  EXPECT_EQ(stingy_table.serve({call::write, {1, kData, 8}}, memory).result, 4);
  EXPECT_EQ(stingy.written, "abcd");
}

TEST_F(CallTableTest, WriteToAClosedOutputPipeEndsTheProgram) {
  output_pipe.close_read();
  memory.poke(kData, "x");
  EXPECT_THROW(serve(call::write, {1, kData, 1}), OutputPipeClosed);
}

TEST_F(CallTableTest, ReadHonoursTheCountAndEndOfInput) {
  input_pipe.fill("0123456789");
  EXPECT_EQ(serve(call::read, {0, kData, 4}), 4);
  EXPECT_EQ(memory.peek(kData, 5), std::string("0123\0", 5));
  EXPECT_EQ(serve(call::read, {0, kData, 100}), 6);
  EXPECT_EQ(memory.peek(kData, 6), "456789");
  input_pipe.close_write();
  EXPECT_EQ(serve(call::read, {0, kData, 100}), 0);
}

TEST_F(CallTableTest, ReadIntoBadMemoryConsumesNoInput) {
  input_pipe.fill("abc");
  EXPECT_EQ(serve(call::read, {0, 0, 3}), kBadAddress);
  EXPECT_EQ(serve(call::read, {0, kReadOnly, 3}), kBadAddress);
  EXPECT_EQ(serve(call::read, {0, kDataEnd, 3}), kBadAddress);
  // Room for one byte before the gap: exactly one byte is taken from the input.
  EXPECT_EQ(serve(call::read, {0, kDataEnd - 1, 3}), 1);
  EXPECT_EQ(memory.peek(kDataEnd - 1, 1), "a");
  EXPECT_EQ(serve(call::read, {0, kData, 3}), 2);
  EXPECT_EQ(memory.peek(kData, 2), "bc");
}

TEST_F(CallTableTest, ReadFromDescriptorsThatAreNotOpenForReading) {
  input_pipe.fill("abc");
  for (uint32_t fd : {1u, 2u, 7u}) EXPECT_EQ(serve(call::read, {fd, kData, 3}), kBadDescriptor) << fd;
  EXPECT_EQ(serve(call::read, {0, kData, 3}), 3);
}

TEST_F(CallTableTest, ExitEndsTheProgramWithTheLowEightBitsOfItsStatus) {
  for (const auto& [status, expected] : {std::pair{0u, 0}, {1u, 1}, {300u, 44}, {0xffffffffu, 255}, {256u, 0}}) {
    const CallOutcome outcome = table.serve({call::exit, {status}}, memory);
    EXPECT_TRUE(outcome.ends_program);
    EXPECT_EQ(outcome.exit_status, expected) << status;
  }
  EXPECT_FALSE(table.serve({call::write, {1, kData, 0}}, memory).ends_program);
}

TEST_F(CallTableTest, CallsNotServedAnswerNotImplemented) {
  for (uint32_t number : {0u, 4u, 5u, 98u, 150u, 255u, test_control::kCallNumber, 0xffffffffu}) {
    EXPECT_EQ(serve(number, {1, kData, 1}), kNotImplemented) << number;
  }
  EXPECT_EQ(output_pipe.drain(), "");
}

TEST_F(CallTableTest, RepairWithoutAVolumeIsNotImplemented) {
  memory.poke(kData, std::string_view("/\0", 2));
  EXPECT_EQ(serve(call::repair_dirents, {kData}), kNotImplemented);
}

TEST_F(CallTableTest, RepairPassesThePathAndChecksIt) {
  RecordingFileSystem volume;
  CallTable with_volume(descriptors, &volume, nullptr);
  memory.poke(kData, std::string_view("/Photos/2024\0", 13));
  EXPECT_EQ(with_volume.serve({call::repair_dirents, {kData}}, memory).result, 3);
  EXPECT_EQ(with_volume.serve({call::repair_dirents, {0}}, memory).result, kBadAddress);
  memory.poke(kDataEnd - 2, "/a");  // unterminated before the gap
  EXPECT_EQ(with_volume.serve({call::repair_dirents, {kDataEnd - 2}}, memory).result, kBadAddress);
  memory.poke(kData, std::string(kPathLimit + 1, 'a'));  // no NUL within the limit
  EXPECT_EQ(with_volume.serve({call::repair_dirents, {kData}}, memory).result, kNameTooLong);
  EXPECT_EQ(volume.paths, std::vector<std::string>{"/Photos/2024"});
}

// Arbitrary registers, with pointers and counts biased toward page edges and the top of the
// address space: every call answers a result in range and the runner survives.
TEST(CallTableRobustness, ArbitraryRegistersNeverHarmTheRunner) {
  FakeMemory memory;
  memory.map(0x600000, 2 * FakeMemory::kPage);
  memory.map(0xFFFFE000, FakeMemory::kPage);
  memory.map(0x0, FakeMemory::kPage, /*writable=*/false);
  memory.poke(0x601FFC, "/abc");
  const int null_in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int null_out = open("/dev/null", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(null_in, 0);
  ASSERT_GE(null_out, 0);
  HostInput input(null_in);
  HostOutput output(null_out);
  DescriptorTable descriptors(input, output);
  RecordingFileSystem volume;
  CallTable table(descriptors, &volume, nullptr);

  const uint32_t interesting[] = {0, 1, 2, 3, 0xFFF, 0x1000, 0x600000, 0x600FFF, 0x601FFC, 0x601FFF, 0x602000,
                                  0xFFFFDFFF, 0xFFFFE000, 0xFFFFEFFF, 0xFFFFF000, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000};
  std::mt19937 random(2024);
  auto pick = [&] { return random() % 3 == 0 ? static_cast<uint32_t>(random()) : interesting[random() % std::size(interesting)]; };
  for (int round = 0; round < 20000; ++round) {
    KernelCall call{static_cast<uint32_t>(random() % 4 == 0 ? random() : random() % 160), {}};
    for (uint32_t& argument : call.args) argument = pick();
    if (call.number == call::read || call.number == call::write) call.args[0] = random() % 4;
    const CallOutcome outcome = table.serve(call, memory);
    if (outcome.ends_program) {
      EXPECT_EQ(call.number, call::exit);
      EXPECT_EQ(outcome.exit_status, static_cast<int>(call.args[0] & 0xff));
      continue;
    }
    if (call.number == call::write || call.number == call::read) {
      EXPECT_LE(static_cast<int64_t>(outcome.result), static_cast<int64_t>(std::min(call.args[2], kLargestCount)));
      if (outcome.result < 0) {
        EXPECT_TRUE(outcome.result == kBadAddress || outcome.result == kBadDescriptor) << outcome.result;
      }
    }
  }
  close(null_in);
  close(null_out);
}

}  // namespace
}  // namespace vornos::kernel
