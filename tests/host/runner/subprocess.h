// Runs a command with given standard input and collects its status and both outputs.
#pragma once

#include <string>
#include <vector>

namespace vornos::kernel::testing {

struct CommandResult {
  int status = -1;  // exit status, or 128 + signal when the command itself was killed
  std::string out;
  std::string err;
};

CommandResult run_command(const std::vector<std::string>& argv, const std::string& input = {});

}  // namespace vornos::kernel::testing
