// The runner's command line: options, then PROGRAM and its arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fat32/code_page.h"
#include "base/guest.h"

namespace vornos::kernel {

struct Options {
  bool help = false;
  bool trace = false;
  bool test_hooks = false;
  bool log_repairs = false;
  bool dry_run = false;
  bool read_only = false;
  bool no_volume = false;
  bool snapshot = false;              // --snapshot: the image is only read; writes go to a private layer
  std::optional<uint32_t> partition;  // --partition N
  double timeout_seconds = 0;         // --timeout SECONDS; 0: none
  unsigned code_page = fat32::kDefaultCodePage.number();  // --codepage N: of the volume's short names
  std::optional<std::string> volume;  // --volume IMAGE, when given
  std::optional<std::string> trace_file;  // -o FILE: the trace goes there (implies --trace)
  Platform platform = Platform::automatic;  // --platform ptrace|emulated
  std::optional<uint16_t> gdb_port;   // --gdb PORT (implies the emulated platform)
  std::optional<std::string> core_file;  // --core FILE
  std::vector<std::string> program;   // PROGRAM and ARGS: the program's argument vector
};

// Parses argv[1..]. Options come before PROGRAM; the first argument that is not an option
// (or everything after "--") starts the program's vector, so the program's own arguments
// may look like options. On a usage error returns nullopt and puts the reason in `error`.
std::optional<Options> parse_options(int argc, const char* const* argv, std::string& error);

// The --help text.
std::string usage_text();

// Exit statuses of the runner itself; any other status is the program's.
inline constexpr int kExitUsage = 2;
inline constexpr int kExitTimeout = 124;
inline constexpr int kExitRunnerFailure = 125;
inline constexpr int kExitVolumeRefused = 126;
inline constexpr int kExitProgramRefused = 127;

}  // namespace vornos::kernel
