// The crash program built with the SDK, and the state it would be in at its fault: the faulting
// store, the return addresses of the calls that led there, and a stack that links their frames.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "debug/core_file.h"
#include "debug/crash_report.h"
#include "debug/elf_program.h"

namespace vornos::debug::testing {

struct CrashScene {
  std::string path;
  std::vector<uint8_t> file;
  ElfProgram program;
  // Found in the program's code (the debug build's and the plain one's differ).
  uint32_t store = 0;  // the instruction that stores 42 through the null pointer
  uint32_t return_to_middle = 0, return_to_outer = 0, return_to_main = 0, return_to_start = 0;
  // The frames on a made-up stack page: each frame pointer points at the one before and the return.
  static constexpr uint32_t kStackBase = 0x7fff0000;
  static constexpr uint32_t kStackSize = 0x1000;
  uint32_t ebp_store = 0, ebp_middle = 0, ebp_outer = 0, ebp_main = 0;
  // The loaded segments in whole pages (zeros past the file's bytes), then the stack page, as a core file
  // holds them.
  std::vector<CoreMemory> memory;

  CrashState state() const;
  // The byte at `address`, nothing outside the memory.
  const uint8_t* at(uint32_t address) const;
  uint8_t* at(uint32_t address) { return const_cast<uint8_t*>(std::as_const(*this).at(address)); }
  std::optional<uint32_t> read_word(uint32_t address) const;
  void write_word(uint32_t address, uint32_t value);
};

// Loads the program and finds its pieces; fails the calling test (ASSERT) when one is missing.
void load_scene(const std::string& path, CrashScene& scene);

// The number of the source line that ends with `marker`.
int source_line(const std::string& marker);

// What a shell command prints on its standard output and error; its wait status in `status`.
std::string command_output(const std::string& command, int& status);

// Fails the calling test for each pattern that matches no whole line of `output`.
void expect_lines(const std::string& output, const std::vector<std::string>& patterns);

}  // namespace vornos::debug::testing
