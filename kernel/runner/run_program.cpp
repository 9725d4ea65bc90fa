// The run of a program and everything it starts.
#include "runner/run_program.h"

#include "test_hooks/test_hooks.h"
#include "trace/trace_printer.h"

namespace vornos::kernel {

int run_program(const std::vector<std::string>& program, FileSystem* file_system, TestHooks* hooks, Device& input,
                Device& output, Device& error, const RunSettings& settings) {
  CallTracer tracer(settings.trace_output);
  EventLoop loop(file_system, hooks, settings.trace ? &tracer : nullptr, settings);
  return loop.run(program, input, output, error);
}

}  // namespace vornos::kernel
