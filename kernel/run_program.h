// One run: trace the program, serve its calls, turn its end into the runner's exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "calls/call_table.h"

namespace vornos::kernel {

struct RunSettings {
  bool trace = false;               // one line per served call on `trace_output`
  std::FILE* trace_output = stderr;
  std::FILE* diagnostics = stderr;  // the killed-by-signal line
  double timeout_seconds = 0;       // --timeout: the program is ended after this long; 0: never
};

// Runs `program` (PROGRAM and ARGS) to its end with `calls` serving its kernel calls.
// Returns the exit status of its exit call, or 128 + the signal that killed it, or the
// status of a stop (stop_status) when the run was stopped from outside or timed out. The
// trace ends as strace's does: "+++ exited with 3 +++" or "+++ killed by SIGSEGV +++".
// Throws ExecFailure when Linux will not run the program, HostFailure when tracing fails.
int run_program(const std::vector<std::string>& program, CallTable& calls, const RunSettings& settings);

// "SIGSEGV" for 11; "signal 77" for numbers without a name.
std::string signal_name(int signal);

// The line printed when the program dies of a signal, without a newline:
// "vornos-run: program killed by SIGSEGV at eip 0x00401234".
std::string killed_message(int signal, bool have_eip, uint32_t eip);

}  // namespace vornos::kernel
