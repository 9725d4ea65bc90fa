// The stub with the real debugger on the other end of a loopback socket, over the crash program's
// image: a breakpoint, the stop it reports, a backtrace into main, variables, and the end.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "debug/gdb_stub.h"
#include "debug/loopback_socket.h"
#include "test_program.h"

namespace vornos::debug {
namespace {

using testing::command_output;
using testing::CrashScene;
using testing::expect_lines;
using testing::load_scene;
using testing::source_line;

// The program's memory as the crash scene lays it out; a run "reaches" store_through's first
// int3, if one is there, with the frames of the scene, and ends with status 3 otherwise.
class SceneTarget final : public DebugTarget {
 public:
  explicit SceneTarget(const CrashScene& scene) : scene_(scene), memory_(scene.memory()) {
    registers_.eip = *scene.program.symbol_address("_start");
    registers_.esp = CrashScene::kStackBase + 0xFF0;
    registers_.cs = 0x23;
    registers_.ss = registers_.ds = registers_.es = 0x2b;
  }
  I386Registers read_registers() override { return registers_; }
  void write_registers(const I386Registers& registers) override { registers_ = registers; }
  size_t read_memory(uint32_t address, std::span<uint8_t> destination) override {
    size_t count = 0;
    while (count < destination.size() && at(address + count)) destination[count] = *at(address + count), ++count;
    return count;
  }
  size_t write_memory(uint32_t address, std::span<const uint8_t> source) override {
    size_t count = 0;
    while (count < source.size() && at(address + count)) *at(address + count) = source[count], ++count;
    return count;
  }
  StopEvent step(int) override {
    ++registers_.eip;
    return {StopEvent::Kind::kTrap, 0};
  }
  StopEvent run(int) override {
    // Within the function: the padding after it is int3 too.
    const uint32_t function = *scene_.program.symbol_address("store_through");
    uint32_t size = 0;
    for (const FunctionSymbol& symbol : scene_.program.functions()) size = symbol.address == function ? symbol.size : size;
    for (uint32_t address = function; address < function + size; ++address) {
      if (*at(address) == 0xCC) {
        registers_.eip = address + 1;
        registers_.ebp = registers_.esp = scene_.ebp_store;
        return {StopEvent::Kind::kTrap, 0};
      }
    }
    return {StopEvent::Kind::kExited, 3};
  }
  void interrupt() override {}
  void kill() override {}

 private:
  uint8_t* at(uint64_t address) {
    for (CoreMemory& piece : memory_) {
      if (address >= piece.address && address - piece.address < piece.bytes.size()) return &piece.bytes[address - piece.address];
    }
    return nullptr;
  }
  const CrashScene& scene_;
  std::vector<CoreMemory> memory_;
  I386Registers registers_;
};

TEST(GdbSession, BreaksShowsTheCallsAndVariablesAndSeesTheProgramEnd) {
  CrashScene scene;
  ASSERT_NO_FATAL_FAILURE(load_scene(CRASH_PROGRAM, scene));
  std::string error;
  auto listener = LoopbackListener::open(0, error);
  ASSERT_TRUE(listener) << error;
  SceneTarget target(scene);
  std::optional<SessionEnd> end;
  std::thread stub_thread([&] {
    std::string accept_error;
    if (auto connection = listener->accept(accept_error)) end = GdbStub(target, *connection).serve();
  });

  std::filesystem::create_directories(DEBUG_TEST_SCRATCH_DIR);
  const std::string script = std::string(DEBUG_TEST_SCRATCH_DIR) + "/session." + std::to_string(::getpid()) + ".gdb";
  {
    std::ofstream out(script);
    out << "set pagination off\n"
        << "target remote 127.0.0.1:" << listener->port() << "\n"
        << "break store_through\n"
        << "continue\n"
        << "bt\n"
        << "print target\n"
        << "print visits\n"
        << "delete\n"
        << "continue\n";
  }
  int status = -1;
  const std::string output = command_output("timeout 60 gdb -nx -batch -x " + script + " " + CRASH_PROGRAM, status);
  stub_thread.join();
  std::filesystem::remove(script);
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(end, SessionEnd::kProgramEnded) << output;

  const std::string file = ".*tests/host/debug/programs/crash_program\\.c";
  const std::string line = std::to_string(source_line("/* the faulting store */"));
  expect_lines(output, {
      "Breakpoint 1 at 0x[0-9a-f]+: file " + file + ", line " + line + "\\.",
      "Breakpoint 1, store_through \\(target=0x0\\) at " + file + ":" + line,
      "#0  store_through \\(target=0x0\\) at " + file + ":" + line,
      "#1  0x[0-9a-f]+ in middle \\(target=0x0\\) at " + file + ":" + std::to_string(source_line("/* the call of store_through */")),
      "#3  0x[0-9a-f]+ in main \\(argc=.*, argv=.*\\) at " + file + ":" + std::to_string(source_line("/* the call of outer */")),
      "\\$1 = \\(volatile int \\*\\) 0x0",
      "\\$2 = 7",
      "\\[Inferior 1 \\(.*\\) exited with code 03\\]",
  });
}

}  // namespace
}  // namespace vornos::debug
