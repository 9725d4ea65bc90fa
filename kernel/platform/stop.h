// Ending a run from outside: Ctrl-C, SIGTERM or SIGHUP to the runner, or the --timeout alarm.
#pragma once

#include <sys/types.h>

namespace vornos::kernel {

// Catches SIGINT, SIGTERM, SIGHUP and SIGALRM. The handler notes the first of them and
// kills every program registered with KillOnStop at once; the runner then ends the run the
// normal way, after the call it is serving (a repair finishes and leaves the volume clean).
// The runner's standard input and output become /dev/null, so that call cannot wait on them
// for ever.
void install_stop_handlers();

// Called by the stop handler as well (inside the signal handler, so it must be safe there):
// ends the run of a program the runner executes itself, which no signal can reach.
void set_stop_hook(void (*hook)());

// Raises SIGALRM after `seconds` (fractions allowed); 0 sets no alarm.
void start_timeout(double seconds);

// The signal that asked the run to stop (SIGALRM for the timeout), or 0.
int stop_signal();

// The runner's exit status for a run stopped by `signal`: 124 for the timeout, else 128 + N.
int stop_status(int signal);

// Registers a program to be killed by a stop, from its start until this ends (with the
// program). Holds `pid` through a pidfd, so a number Linux has handed to another process by
// then is never signalled.
class KillOnStop {
 public:
  explicit KillOnStop(pid_t pid);
  ~KillOnStop();
  KillOnStop(const KillOnStop&) = delete;
  KillOnStop& operator=(const KillOnStop&) = delete;

 private:
  int slot_ = -1;
  int pidfd_ = -1;
};

}  // namespace vornos::kernel
