// The crash program built with the SDK, and the state it would be in at its fault.
#include "test_program.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>

namespace vornos::debug::testing {
namespace {

std::optional<uint8_t> code_byte(const CrashScene& scene, uint32_t address) {
  for (const LoadSegment& segment : scene.program.segments()) {
    if (address >= segment.address && address - segment.address < segment.memory_size) {
      const uint32_t offset = address - segment.address;
      return offset < segment.file_size ? scene.file[segment.file_offset + offset] : 0;
    }
  }
  return std::nullopt;
}

uint32_t code_word(const CrashScene& scene, uint32_t address) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | code_byte(scene, address + static_cast<uint32_t>(i)).value_or(0);
  return value;
}

// The address just past the `call rel32` in `caller` whose target is `callee`; 0 when none.
uint32_t return_address_of_call(const CrashScene& scene, const char* caller, const char* callee) {
  const auto from = scene.program.symbol_address(caller);
  const auto to = scene.program.symbol_address(callee);
  if (!from || !to) return 0;
  for (uint32_t at = *from; at < *from + 0x100; ++at) {
    if (code_byte(scene, at) == 0xE8 && at + 5 + code_word(scene, at + 1) == *to) return at + 5;
  }
  return 0;
}

}  // namespace

CrashState CrashScene::state() const {
  CrashState state;
  state.signal = SIGSEGV;
  state.eip = store;
  state.ebp = ebp_store;
  state.esp = ebp_store - 8;
  state.fault_address = 0;
  return state;
}

std::optional<uint32_t> CrashScene::read_word(uint32_t address) const {
  if (const auto it = stack.find(address); it != stack.end()) return it->second;
  if (address >= kStackBase && address - kStackBase < kStackSize) return 0;
  if (!code_byte(*this, address) || !code_byte(*this, address + 3)) return std::nullopt;
  return code_word(*this, address);
}

std::vector<CoreMemory> CrashScene::memory() const {
  std::vector<CoreMemory> pieces;
  for (const LoadSegment& segment : program.segments()) {
    CoreMemory piece{segment.address & ~0xFFFu, segment.flags, {}};
    const uint32_t end = (segment.address + segment.memory_size + 0xFFF) & ~0xFFFu;
    for (uint32_t at = piece.address; at < end; ++at) piece.bytes.push_back(code_byte(*this, at).value_or(0));
    pieces.push_back(std::move(piece));
  }
  CoreMemory stack_page{kStackBase, 6, std::vector<uint8_t>(kStackSize, 0)};
  for (const auto& [address, word] : stack) std::memcpy(stack_page.bytes.data() + (address - kStackBase), &word, 4);
  pieces.push_back(std::move(stack_page));
  return pieces;
}

void load_scene(const std::string& path, CrashScene& scene) {
  scene.path = path;
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path;
  scene.file.assign(std::istreambuf_iterator<char>(in), {});
  auto parsed = ElfProgram::parse(scene.file);
  ASSERT_TRUE(parsed) << path;
  scene.program = std::move(*parsed);
  ASSERT_TRUE(scene.program.has_symbols()) << "the scene is found by the symbols of " << path;

  // movl $42, (reg): C7, a ModRM byte of register-indirect form without displacement, then 42.
  const uint32_t function = scene.program.symbol_address("store_through").value_or(0);
  for (uint32_t at = function; at < function + 0x40 && scene.store == 0; ++at) {
    const auto modrm = code_byte(scene, at + 1);
    if (code_byte(scene, at) == 0xC7 && modrm && *modrm < 8 && *modrm != 4 && *modrm != 5 && code_word(scene, at + 2) == 42) {
      scene.store = at;
    }
  }
  ASSERT_NE(scene.store, 0u) << "the store in store_through";
  scene.return_to_middle = return_address_of_call(scene, "middle", "store_through");
  scene.return_to_outer = return_address_of_call(scene, "outer", "middle");
  scene.return_to_main = return_address_of_call(scene, "main", "outer");
  scene.return_to_start = return_address_of_call(scene, "_start", "main");
  ASSERT_NE(scene.return_to_middle, 0u);
  ASSERT_NE(scene.return_to_outer, 0u);
  ASSERT_NE(scene.return_to_main, 0u);
  ASSERT_NE(scene.return_to_start, 0u);

  scene.ebp_main = CrashScene::kStackBase + 0xF00;
  scene.ebp_outer = CrashScene::kStackBase + 0xE00;
  scene.ebp_middle = CrashScene::kStackBase + 0xD00;
  scene.ebp_store = CrashScene::kStackBase + 0xC00;
  const std::pair<uint32_t, uint32_t> links[] = {{scene.ebp_main, 0},
                                                 {scene.ebp_main + 4, scene.return_to_start},
                                                 {scene.ebp_outer, scene.ebp_main},
                                                 {scene.ebp_outer + 4, scene.return_to_main},
                                                 {scene.ebp_middle, scene.ebp_outer},
                                                 {scene.ebp_middle + 4, scene.return_to_outer},
                                                 {scene.ebp_store, scene.ebp_middle},
                                                 {scene.ebp_store + 4, scene.return_to_middle}};
  for (const auto& [address, word] : links) scene.stack[address] = word;
}

int source_line(const std::string& marker) {
  std::ifstream in(CRASH_SOURCE);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.size() >= marker.size() && line.compare(line.size() - marker.size(), marker.size(), marker) == 0) {
      return number;
    }
  }
  ADD_FAILURE() << "no line ends with " << marker;
  return 0;
}

std::string command_output(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  for (size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, count);
  status = ::pclose(pipe);
  return output;
}

void expect_lines(const std::string& output, const std::vector<std::string>& patterns) {
  for (const std::string& pattern : patterns) {
    EXPECT_TRUE(std::regex_search(output, std::regex("(^|\n)" + pattern + "(\n|$)"))) << pattern << "\nin:\n" << output;
  }
}

}  // namespace vornos::debug::testing
