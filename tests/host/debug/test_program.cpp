// The crash program built with the SDK, and the state it would be in at its fault.
#include "test_program.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <utility>

namespace vornos::debug::testing {
namespace {

// The address just past the `call rel32` in `caller` whose target is `callee`; 0 when none.
uint32_t return_address_of_call(const CrashScene& scene, const char* caller, const char* callee) {
  const auto from = scene.program.symbol_address(caller);
  const auto to = scene.program.symbol_address(callee);
  if (!from || !to) return 0;
  for (uint32_t at = *from; at < *from + 0x100; ++at) {
    const uint8_t* op = scene.at(at);
    const auto target = scene.read_word(at + 1);
    if (op && *op == 0xE8 && target && at + 5 + *target == *to) return at + 5;
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

const uint8_t* CrashScene::at(uint32_t address) const {
  for (const CoreMemory& piece : memory) {
    if (address >= piece.address && address - piece.address < piece.bytes.size()) return &piece.bytes[address - piece.address];
  }
  return nullptr;
}

std::optional<uint32_t> CrashScene::read_word(uint32_t address) const {
  uint32_t value = 0;
  for (uint32_t i = 4; i-- > 0;) {
    const uint8_t* byte = at(address + i);
    if (byte == nullptr) return std::nullopt;
    value = value << 8 | *byte;
  }
  return value;
}

void CrashScene::write_word(uint32_t address, uint32_t value) {
  for (uint32_t i = 0; i < 4; ++i) *at(address + i) = static_cast<uint8_t>(value >> (8 * i));
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
  const std::vector<LoadSegment>& segments = scene.program.segments();
  for (const LoadSegment& segment : segments) {
    const uint32_t first_page = segment.address & ~0xFFFu;
    const uint32_t end = (segment.address + segment.memory_size + 0xFFF) & ~0xFFFu;
    scene.memory.push_back({first_page, segment.flags, std::vector<uint8_t>(end - first_page, 0)});
  }
  // Every piece gets the bytes of every segment it holds: two segments may share a page.
  for (const LoadSegment& segment : segments) {
    for (uint32_t i = 0; i < segment.file_size; ++i) {
      for (CoreMemory& piece : scene.memory) {
        const uint32_t address = segment.address + i;
        if (address >= piece.address && address - piece.address < piece.bytes.size()) {
          piece.bytes[address - piece.address] = scene.file[segment.file_offset + i];
        }
      }
    }
  }
  scene.memory.push_back({CrashScene::kStackBase, 6, std::vector<uint8_t>(CrashScene::kStackSize, 0)});

  // movl $42, (reg): C7, a ModRM byte of register-indirect form without displacement, then 42.
  const uint32_t function = scene.program.symbol_address("store_through").value_or(0);
  for (uint32_t at = function; at < function + 0x40 && scene.store == 0; ++at) {
    const uint8_t* op = scene.at(at);
    const uint8_t* modrm = scene.at(at + 1);
    if (op && *op == 0xC7 && modrm && *modrm < 8 && *modrm != 4 && *modrm != 5 && scene.read_word(at + 2) == 42u) {
      scene.store = at;
    }
  }
  ASSERT_NE(scene.store, 0u) << "the store in store_through";
  scene.return_to_middle = return_address_of_call(scene, "middle", "store_through");
  scene.return_to_outer = return_address_of_call(scene, "outer", "middle");
  scene.return_to_main = return_address_of_call(scene, "main", "outer");
  scene.return_to_start = return_address_of_call(scene, "_start", "main");
  for (const uint32_t return_address : {scene.return_to_middle, scene.return_to_outer, scene.return_to_main,
                                        scene.return_to_start}) {
    ASSERT_NE(return_address, 0u) << "a call on the way from _start to store_through";
  }

  scene.ebp_main = CrashScene::kStackBase + 0xF00;
  scene.ebp_outer = CrashScene::kStackBase + 0xE00;
  scene.ebp_middle = CrashScene::kStackBase + 0xD00;
  scene.ebp_store = CrashScene::kStackBase + 0xC00;
  // Each frame: the caller's frame pointer, then the return address into the caller.
  const std::pair<uint32_t, uint32_t> links[] = {
      {scene.ebp_main, 0},                  {scene.ebp_main + 4, scene.return_to_start},
      {scene.ebp_outer, scene.ebp_main},    {scene.ebp_outer + 4, scene.return_to_main},
      {scene.ebp_middle, scene.ebp_outer},  {scene.ebp_middle + 4, scene.return_to_outer},
      {scene.ebp_store, scene.ebp_middle},  {scene.ebp_store + 4, scene.return_to_middle}};
  for (const auto& [address, word] : links) scene.write_word(address, word);
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
