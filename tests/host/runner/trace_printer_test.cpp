// The --trace lines: names from the call list, decoded arguments, results.
#include <gtest/gtest.h>

#include "fake_memory.h"
#include "trace/trace_printer.h"
#include "test_hooks/control_abi.h"
#include "calls/call_numbers.h"

namespace vornos::kernel {
namespace {

using testing::FakeMemory;

KernelCall call(uint32_t number, std::array<uint32_t, 6> args = {}) { return KernelCall{number, args}; }

class TracePrinter : public ::testing::Test {
 protected:
  void SetUp() override { memory.map(kData, 2 * 4096); }
  static constexpr uint32_t kData = 0x500000;
  FakeMemory memory;
};

TEST_F(TracePrinter, WritesShowTheirBytesBriefly) {
  memory.poke(kData, "mendir: repaired 3 entries under /\n");
  EXPECT_EQ(format_call(call(call::write, {1, kData, 9}), 9, memory), R"(write(1, "mendir: r", 9) = 9)");
  EXPECT_EQ(format_call(call(call::write, {1, kData, 35}), 35, memory),
            R"(write(1, "mendir: repaired 3 entries under"..., 35) = 35)");
  EXPECT_EQ(format_call(call(call::write, {2, kData, 1}), -9, memory), R"(write(2, "m", 1) = -9 EBADF)");
  EXPECT_EQ(format_call(call(call::write, {1, 0, 5}), -14, memory), "write(1, NULL, 5) = -14 EFAULT");
  EXPECT_EQ(format_call(call(call::write, {1, 0x7000, 5}), -14, memory), "write(1, 0x7000, 5) = -14 EFAULT");
}

TEST_F(TracePrinter, BytesAreEscapedLikeCStrings) {
  memory.poke(kData, std::string_view("\xff\x01\"\\\t\r\na", 8));
  EXPECT_EQ(format_call(call(call::write, {1, kData, 8}), 8, memory), R"(write(1, "\xff\x01\"\\\t\r\na", 8) = 8)");
  EXPECT_EQ(quote_bytes("abcdef", 3), R"("abc"...)");
  EXPECT_EQ(quote_bytes("", 3), R"("")");
}

TEST_F(TracePrinter, ReadsShowWhatTheyDelivered) {
  memory.poke(kData, "hello");
  EXPECT_EQ(format_call(call(call::read, {0, kData, 100}), 5, memory), R"(read(0, "hello", 100) = 5)");
  EXPECT_EQ(format_call(call(call::read, {0, kData, 100}), 0, memory), "read(0, 0x500000, 100) = 0");
}

TEST_F(TracePrinter, PathsExitUnknownCallsAndTheControlCall) {
  memory.poke(kData, std::string_view("/docs\0", 6));
  EXPECT_EQ(format_call(call(call::repair_dirents, {kData}), 3, memory), R"(repair_dirents("/docs") = 3)");
  EXPECT_EQ(format_call(call(call::repair_dirents, {0}), -38, memory), "repair_dirents(NULL) = -38 ENOSYS");
  EXPECT_EQ(format_call(call(call::exit, {0}), std::nullopt, memory), "exit(0)");
  EXPECT_EQ(format_call(call(call::exit, {0xffffffff}), std::nullopt, memory), "exit(-1)");
  EXPECT_EQ(format_call(call(call::open, {kData, 0x241, 0}), 3, memory), R"(open("/docs", O_WRONLY|O_CREAT|O_TRUNC, 0) = 3)");
  EXPECT_EQ(format_call(call(call::open, {kData, 0x100482, 0}), 3, memory), R"(open("/docs", O_RDWR|O_EXCL|O_APPEND|0x100000, 0) = 3)");
  EXPECT_EQ(format_call(call(call::lseek, {3, 0xfffffffb, 2}), 7, memory), "lseek(3, -5, SEEK_END) = 7");
  EXPECT_EQ(format_call(call(call::lseek, {3, 0, 9}), -22, memory), "lseek(3, 0, 9) = -22 EINVAL");
  EXPECT_EQ(format_call(call(call::getcwd, {kData, 64, 0}), 6, memory), R"(getcwd("/docs", 64, 0) = 6)");
  EXPECT_EQ(format_call(call(call::getcwd, {kData, 2, 0}), -34, memory), "getcwd(0x500000, 2, 0) = -34 ERANGE");
  EXPECT_EQ(format_call(call(call::mmap, {0, 4096, 3, 0x22, 0xffffffff, 0}), -38, memory),
            "mmap(NULL, 4096, 0x3, 0x22, -1, 0) = -38 ENOSYS");
  EXPECT_EQ(format_call(call(200, {1, 2, 3}), -38, memory), "call_200(0x1, 0x2, 0x3) = -38 ENOSYS");
  EXPECT_EQ(format_call(call(test_control::kCallNumber, {3}), 0, memory), "test_control(capture_start) = 0");
  EXPECT_EQ(format_call(call(test_control::kCallNumber, {4, kData, 64}), 2, memory), "test_control(capture_stop, 0x500000, 64) = 2");
  EXPECT_EQ(format_call(call(test_control::kCallNumber, {99}), -22, memory), "test_control(0x63, NULL, 0) = -22 EINVAL");
}

TEST(CallNames, ComeFromTheSystemsCallList) {
  EXPECT_EQ(call_name(call::write), "write");
  EXPECT_EQ(call_name(84), "repair_dirents");
  EXPECT_EQ(call_name(150), "spawn_ex");
  EXPECT_EQ(call_name(7), "");
}

}  // namespace
}  // namespace vornos::kernel
