// The --trace lines beyond those of mendir's end-to-end test: cut and escaped bytes, reads,
// open's flags, whence, getcwd's path, unknown calls and the control call.
#include <gtest/gtest.h>

#include "calls/call_numbers.h"
#include "fake_memory.h"
#include "test_hooks/control_abi.h"
#include "trace/trace_printer.h"

namespace vornos::kernel {
namespace {

TEST(TracePrinter, DecodesEachKindOfArgument) {
  testing::FakeMemory memory;
  memory.map(0x500000, 4096);
  memory.poke(0x500000, std::string_view("/docs\0", 6));
  memory.poke(0x500100, "mendir: repaired 3 entries under /\n");
  memory.poke(0x500200, std::string_view("\xff\x01\"\\\t\r\na", 8));
  const struct {
    KernelCall call;
    std::optional<int32_t> result;
    std::string line;
  } cases[] = {
      {{call::write, {1, 0x500100, 35}}, 35, R"(write(1, "mendir: repaired 3 entries under"..., 35) = 35)"},
      {{call::write, {1, 0x500200, 8}}, 8, R"(write(1, "\xff\x01\"\\\t\r\na", 8) = 8)"},
      {{call::write, {2, 0, 5}}, -14, "write(2, NULL, 5) = -14 EFAULT"},
      {{call::read, {0, 0x500000, 100}}, 5, R"(read(0, "/docs", 100) = 5)"},
      {{call::read, {0, 0x500000, 100}}, 0, "read(0, 0x500000, 100) = 0"},
      {{call::exit, {0xffffffff}}, std::nullopt, "exit(-1)"},
      {{call::open, {0x500000, 0x241, 0}}, 3, R"(open("/docs", O_WRONLY|O_CREAT|O_TRUNC, 0) = 3)"},
      {{call::open, {0x500000, 0x100482, 0}}, 3, R"(open("/docs", O_RDWR|O_EXCL|O_APPEND|0x100000, 0) = 3)"},
      {{call::lseek, {3, 0xfffffffb, 2}}, 7, "lseek(3, -5, SEEK_END) = 7"},
      {{call::lseek, {3, 0, 9}}, -22, "lseek(3, 0, 9) = -22 EINVAL"},
      {{call::getcwd, {0x500000, 64, 0}}, 6, R"(getcwd("/docs", 64, 0) = 6)"},
      {{call::getcwd, {0x500000, 2, 0}}, -34, "getcwd(0x500000, 2, 0) = -34 ERANGE"},
      {{call::mmap, {0, 4096, 3, 0x22, 0xffffffff, 0}}, -38, "mmap(NULL, 4096, 0x3, 0x22, -1, 0) = -38 ENOSYS"},
      {{200, {1, 2, 3}}, -38, "call_200(0x1, 0x2, 0x3) = -38 ENOSYS"},
      {{test_control::kCallNumber, {4, 0x500000, 64}}, 2, "test_control(capture_stop, 0x500000, 64) = 2"},
      {{test_control::kCallNumber, {99}}, -22, "test_control(0x63, NULL, 0) = -22 EINVAL"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_call(c.call, c.result, memory), c.line);
}

}  // namespace
}  // namespace vornos::kernel
