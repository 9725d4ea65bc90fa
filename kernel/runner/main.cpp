// vornos-run: the stand-in kernel. Checks the program, attaches the volume, runs the program.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include "calls/call_table.h"
#include "vfs/descriptors.h"
#include "base/diagnostics.h"
#include "runner/options.h"
#include "platform/elf_check.h"
#include "base/host_failure.h"
#include "platform/stop.h"
#include "runner/run_program.h"
#include "test_hooks/test_hooks.h"
#include "runner/volume_attachment.h"

namespace {

using namespace vornos::kernel;

int run(const Options& options) {
  const std::string& program = options.program.front();
  if (const std::string reason = check_program_file(program); !reason.empty()) {
    print_diagnostic(stderr, "cannot run " + program + ": " + reason);
    return kExitProgramRefused;
  }

  // From here a Ctrl-C, SIGTERM or SIGHUP ends the run through the normal path below.
  install_stop_handlers();
  std::string volume_error;
  std::unique_ptr<FileSystem> file_system = attach_volume(options, volume_error);
  if (!volume_error.empty()) {
    // A refusal may list what the disk holds, a line each; every line is shown escaped on its own.
    for (size_t start = 0, end; start <= volume_error.size(); start = end + 1) {
      end = std::min(volume_error.find('\n', start), volume_error.size());
      print_diagnostic(stderr, std::string_view(volume_error).substr(start, end - start));
    }
    return kExitVolumeRefused;
  }

  // A closed pipe on the runner's standard output ends the program (HostOutput throws on
  // EPIPE) instead of killing the runner, which must still report the program's end.
  signal(SIGPIPE, SIG_IGN);
  // A write into the image past the host's file size limit (ulimit -f) then fails with EFBIG, which
  // the call answers as an error, instead of the signal ending the runner in the middle of a call.
  signal(SIGXFSZ, SIG_IGN);

  HostInput input(STDIN_FILENO);
  HostOutput output(STDOUT_FILENO);
  HostOutput error_output(STDERR_FILENO);
  TestHooks hooks;
  RunSettings settings;
  settings.trace = options.trace;
  settings.timeout_seconds = options.timeout_seconds;
  settings.platform = options.platform;
  settings.gdb_port = options.gdb_port;
  if (options.core_file) settings.core_path = *options.core_file;
  if (options.trace_file) {
    settings.trace_output = std::fopen(options.trace_file->c_str(), "w");
    if (settings.trace_output == nullptr) {
      std::fprintf(stderr, "vornos-run: cannot write the trace to %s: %s\n", options.trace_file->c_str(), std::strerror(errno));
      return kExitRunnerFailure;
    }
  }
  const int status = run_program(options.program, file_system.get(), options.test_hooks ? &hooks : nullptr, input, output,
                                 error_output, settings);
  // Like unmounting: what the programs left open or unfinished is let go with them, and the
  // volume is marked clean again when the run left it consistent.
  if (file_system) file_system->detach();
  return status;
}

// A runner started with a standard descriptor closed would hand that number to the next
// file it opens (the volume image, say), and the program would read or write that file as
// its standard input or output. Such descriptors are opened on /dev/null first.
void open_missing_standard_descriptors() {
  for (int fd = 0; fd < 3; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) std::abort();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  open_missing_standard_descriptors();
  std::string error;
  const std::optional<Options> options = parse_options(argc, argv, error);
  if (!options) {
    print_diagnostic(stderr, error);
    std::fputs("Try 'vornos-run --help'.\n", stderr);
    return kExitUsage;
  }
  if (options->help) {
    std::fputs(usage_text().c_str(), stdout);
    return 0;
  }
  try {
    return run(*options);
  } catch (const ExecFailure& failure) {
    // A program killed by a stop before its first instruction was not refused.
    if (const int signal = stop_signal()) return stop_status(signal);
    print_diagnostic(stderr, "cannot run " + options->program.front() + ": " + failure.what());
    return kExitProgramRefused;
  } catch (const std::exception& failure) {
    print_diagnostic(stderr, failure.what());
    return kExitRunnerFailure;
  }
}
