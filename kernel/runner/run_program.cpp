// The run of a program and everything it starts.
#include "runner/run_program.h"

namespace vornos::kernel {

int run_program(const std::vector<std::string>& program, FileSystem* file_system, TestHooks* hooks, Device& input,
                Device& output, Device& error, const RunSettings& settings) {
  Scheduler scheduler(file_system, hooks, settings);
  return scheduler.run(program, input, output, error);
}

}  // namespace vornos::kernel
