// The shared call interface: its error numbers are Linux's (the kernel hands host errors on as
// they are) and the trace names each, and its call list is consistent.
#include <cerrno>
#include <set>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "base/error_codes.h"
#include "trace/trace_printer.h"
#include "vornos/abi/calls.h"
#include "vornos/abi/errors.h"

namespace vornos::kernel {
namespace {

TEST(Abi, ErrorNumbersAreLinuxsAndTheTraceNamesThem) {
  // The NAME column expands to the host's errno macro of the same name.
  const struct { int number, linux_number; std::string_view name; } rows[] = {
#define LINUX_ROW(number, name, constant, text) {number, name, #name},
      VORNOS_ABI_ERRORS(LINUX_ROW)
#undef LINUX_ROW
  };
  std::set<int> numbers;
  for (const auto& row : rows) {
    EXPECT_EQ(row.number, row.linux_number) << row.name;
    EXPECT_TRUE(numbers.insert(row.number).second) << row.name;
    EXPECT_EQ(error_name(-row.number), row.name);
  }
  for (int32_t unnamed : {0, -3, -6, 2, -4096, INT32_MIN}) EXPECT_EQ(error_name(unnamed), "") << unnamed;
}

TEST(Abi, EachCallHasOneRowWithItsArgumentsInOrder) {
  std::set<uint32_t> numbers;
  std::set<std::string_view> names;
  using namespace abi::signature;
  for (const abi::CallSignature& row : abi::kCalls) {
    EXPECT_TRUE(numbers.insert(row.number).second) << row.name;
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_EQ(abi::find_call(row.number), &row);
    bool ended = false;
    for (int index = 0; index < abi::kMostCallArguments; ++index) {
      const Argument argument = row.arguments[index];
      EXPECT_FALSE(ended && argument != none) << row.name << ": an argument after the last";
      ended = ended || argument == none;
      // The trace shows a buffer the call reads with the count in the next register.
      if (argument == data_in) {
        EXPECT_TRUE(index + 1 < abi::kMostCallArguments && row.arguments[index + 1] == unsigned_value) << row.name;
      }
    }
  }
  EXPECT_EQ(call_name(0), "");
  EXPECT_EQ(abi::find_call(7), nullptr);
}

}  // namespace
}  // namespace vornos::kernel
