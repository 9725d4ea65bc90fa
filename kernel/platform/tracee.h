// The traced program: start it, run it to its next trap, answer a call, end it.
#pragma once

#include <sys/types.h>
#include <sys/user.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/guest.h"

namespace vornos::kernel {

class KillOnStop;

// One traced 32-bit program. Linux's loader maps it; every int 0x80 (and any other system
// call instruction) stops it under PTRACE_SYSEMU before Linux sees it, so the program can
// reach nothing outside its memory except through this runner. Every ptrace and waitpid
// failure throws HostFailure naming the operation, except "no such process" while the
// program runs: it was killed from outside, and next_trap reports that as its end.
class Tracee final : public Guest {
 public:
  // Forks, makes the child traced before it runs a single instruction of the program, and
  // execs `path` with `argv` (argv[0] included) and an empty environment. Runner and program
  // are pinned to the CPU the runner is on: a trap then costs no cross-CPU wake-up.
  // Throws ExecFailure when Linux refuses to execute `path` or the program dies before its
  // first instruction (a file Linux cannot map). The program is watched by the stop handler.
  Tracee(const std::string& path, const std::vector<std::string>& argv);
  // The same for the program held by the open file `program_fd` (a copy of a program the
  // kernel read from the volume); `argv[0]` names it in messages.
  Tracee(int program_fd, const std::vector<std::string>& argv);
  // The first constructor, without throwing when Linux refuses to execute `path`: null then,
  // with `exec_errno` set. (A static runner's first exception costs milliseconds: the
  // unwinder sorts the tables of the whole program on first use.)
  static std::unique_ptr<Tracee> try_start(const std::string& path, const std::vector<std::string>& argv, int& exec_errno);
  ~Tracee();
  Tracee(const Tracee&) = delete;
  Tracee& operator=(const Tracee&) = delete;

  pid_t pid() const { return pid_; }

  // Resumes the program (with its pending call answered, if any) until the next call or
  // its death. Signals sent to the program are delivered to it: those whose default action
  // is to ignore do nothing, the others end it (reported as Kind::killed).
  TrapEvent next_trap();

  // Puts the result of the call just reported into eax; every other register is kept.
  void answer(int32_t result) override;

  // For a runner that waits on all its programs at once (waitpid(-1)): resumes the program
  // until its next trap without waiting for it...
  void run_to_trap(int signal = 0) override;  // with `signal` delivered on the way
  // ... and turns a status that waitpid reported for it into the event, or nullopt when the
  // stop was a signal on its way to the program (it runs on, and the trap is still to come).
  std::optional<TrapEvent> on_status(int wait_status);

  // Ends the program at once (call 2) and reaps it.
  void kill() override;

  std::unique_ptr<GuestMemory> memory() override;
  int32_t linux_call(uint32_t number, const std::array<uint32_t, 6>& args) override;
  pid_t host_pid() const override { return pid_; }

 private:
  void resume(int signal);
  TrapEvent wait_for_trap();
  TrapEvent ended(int wait_status);
  TrapEvent reap();
  // False when the program is already gone (ESRCH); any other failure throws.
  bool read_registers(user_regs_struct& regs);

  void wait_for_exec();
  Tracee() = default;
  // Starts the child; when Linux refuses the exec, throws ExecFailure, or with `refused`
  // stores its errno there and answers false.
  bool start(const std::function<void()>& exec, int* refused = nullptr);

  pid_t pid_ = -1;
  std::unique_ptr<KillOnStop> kill_on_stop_;
  bool alive_ = false;
  bool vanished_ = false;      // gone between two ptrace requests, not yet reaped
  bool have_last_eip_ = false; // where the program stood at its last signal
  uint32_t last_eip_ = 0;
};

}  // namespace vornos::kernel
