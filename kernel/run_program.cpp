// The runner's main loop: next trap, serve, answer; report the program's end.
#include "run_program.h"

#include <signal.h>
#include <string.h>

#include <cinttypes>

#include "calls/error_codes.h"
#include "process/stop.h"
#include "process/tracee.h"
#include "trace/trace_printer.h"

namespace vornos::kernel {
namespace {

void print_line(std::FILE* stream, const std::string& line) {
  const std::string whole = line + '\n';
  std::fwrite(whole.data(), 1, whole.size(), stream);
  std::fflush(stream);
}

}  // namespace

std::string signal_name(int signal) {
  if (const char* abbreviation = sigabbrev_np(signal)) return std::string("SIG") + abbreviation;
  return "signal " + std::to_string(signal);
}

std::string killed_message(int signal, bool have_eip, uint32_t eip) {
  std::string message = "vornos-run: program killed by " + signal_name(signal);
  if (have_eip) {
    char address[32];
    std::snprintf(address, sizeof address, " at eip 0x%08" PRIx32, eip);
    message += address;
  }
  return message;
}

// A stopped run ends here: the program is killed (if the handler has not done so already)
// and the run returns through its caller, which detaches the volume as after any run.
int stopped(Tracee& tracee, int signal, const RunSettings& settings) {
  tracee.kill();
  char timeout[64];
  std::snprintf(timeout, sizeof timeout, "it ran longer than its --timeout of %g seconds", settings.timeout_seconds);
  print_line(settings.diagnostics, "vornos-run: program ended: " +
                                       (signal == SIGALRM ? std::string(timeout) : "the runner received " + signal_name(signal)));
  return stop_status(signal);
}

int run_program(const std::vector<std::string>& program, CallTable& calls, const RunSettings& settings) {
  if (const int signal = stop_signal()) return stop_status(signal);
  Tracee tracee(program.front(), program);
  ProcessMemory memory(tracee.pid());
  start_timeout(settings.timeout_seconds);
  const auto trace = [&settings](const std::string& line) {
    if (settings.trace) print_line(settings.trace_output, line);
  };
  const auto exited = [&trace](int status) {
    trace("+++ exited with " + std::to_string(status) + " +++");
    return status;
  };
  for (;;) {
    if (const int signal = stop_signal()) return stopped(tracee, signal, settings);
    const TrapEvent event = tracee.next_trap();
    if (const int signal = stop_signal()) return stopped(tracee, signal, settings);
    switch (event.kind) {
      case TrapEvent::Kind::call: {
        CallOutcome outcome;
        try {
          outcome = calls.serve(event.call, memory);
        } catch (const OutputPipeClosed&) {
          trace(format_call(event.call, kBrokenPipe, memory));
          trace("+++ killed by SIGPIPE +++");
          tracee.kill();
          return 128 + SIGPIPE;
        }
        if (outcome.ends_program) {
          trace(format_call(event.call, std::nullopt, memory));
          tracee.kill();
          return exited(outcome.exit_status);
        }
        trace(format_call(event.call, outcome.result, memory));
        tracee.answer(outcome.result);
        break;
      }
      case TrapEvent::Kind::exited: return exited(event.exit_status);
      case TrapEvent::Kind::killed:
        print_line(settings.diagnostics, killed_message(event.signal, event.have_eip, event.eip));
        trace("+++ killed by " + signal_name(event.signal) + " +++");
        return 128 + event.signal;
    }
  }
}

}  // namespace vornos::kernel
