// Runs vornos-run (or any command) with given input; collects status, outputs and peak memory.
#pragma once

#include <string>
#include <vector>

namespace vornos::kernel::testing {

struct CommandResult {
  int status = -1;  // exit status, or 128 + signal when the command itself was killed
  std::string out;
  std::string err;
  long peak_rss_kib = 0;  // the command's peak resident set, as seen whenever it wrote
};

struct CommandInput {
  std::string bytes{};          // fed to standard input, which is then closed...
  bool keep_open = false;       // ...unless this is set (a program waiting for input waits on)
  int signal_on_output = 0;     // sent to the command once it has written to standard output
};

CommandResult run_command(const std::vector<std::string>& argv, const CommandInput& input = {});

// The test program (guests/guest.c), and the vornos-run and mendir built with these tests.
inline std::string guest() { return VORNOS_TEST_GUEST; }
inline std::string runner() { return VORNOS_RUN_PATH; }
inline std::string mendir() { return VORNOS_MENDIR_PATH; }

}  // namespace vornos::kernel::testing
