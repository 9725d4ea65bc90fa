// The trap loop: fork + PTRACE_TRACEME + exec, then PTRACE_SYSEMU from one call to the next.
#include "platform/tracee.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "base/host_failure.h"
#include "platform/remote_call.h"
#include "platform/stop.h"

namespace vornos::kernel {
namespace {

// With PTRACE_O_TRACESYSGOOD a system-call stop reports SIGTRAP with bit 7 set, which no
// real signal has, so it cannot be taken for a SIGTRAP the program caused itself.
constexpr int kSyscallStop = SIGTRAP | 0x80;

long checked_ptrace(__ptrace_request request, const char* name, pid_t pid, void* address, void* data) {
  errno = 0;
  const long value = ptrace(request, pid, address, data);
  if (value == -1 && errno != 0) throw HostFailure(std::string("ptrace(") + name + ")", errno);
  return value;
}

int checked_waitpid(pid_t pid) {
  int status = 0;
  for (;;) {
    const pid_t waited = waitpid(pid, &status, __WALL);
    if (waited == pid) return status;
    if (waited < 0 && errno == EINTR) continue;
    throw HostFailure("waitpid", waited < 0 ? errno : ECHILD);
  }
}

// Keeps the runner, and so the program it forks, on the CPU it runs on now. A trap is two
// context switches; on one CPU they are direct hand-overs, across CPUs each one waits for
// a wake-up. Where the affinity cannot be set the run is only slower, so that is no error.
void pin_to_current_cpu() {
  const int cpu = sched_getcpu();
  if (cpu < 0) return;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  (void)sched_setaffinity(0, sizeof set, &set);
}

}  // namespace

// The argument vector as execve takes it; built before fork, since after it the child only
// makes system calls.
static std::vector<char*> argument_pointers(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

Tracee::Tracee(const std::string& path, const std::vector<std::string>& argv) {
  std::vector<char*> arguments = argument_pointers(argv);
  start([&] {
    char* empty_environment[] = {nullptr};
    execve(path.c_str(), arguments.data(), empty_environment);
  });
}

Tracee::Tracee(int program_fd, const std::vector<std::string>& argv) {
  std::vector<char*> arguments = argument_pointers(argv);
  start([&] {
    char* empty_environment[] = {nullptr};
    syscall(SYS_execveat, program_fd, "", arguments.data(), empty_environment, AT_EMPTY_PATH);
  });
}

std::unique_ptr<Tracee> Tracee::try_start(const std::string& path, const std::vector<std::string>& argv, int& exec_errno) {
  std::unique_ptr<Tracee> tracee(new Tracee);
  std::vector<char*> arguments = argument_pointers(argv);
  const bool started = tracee->start(
      [&] {
        char* empty_environment[] = {nullptr};
        execve(path.c_str(), arguments.data(), empty_environment);
      },
      &exec_errno);
  return started ? std::move(tracee) : nullptr;
}

bool Tracee::start(const std::function<void()>& exec, int* refused) {
  // A failed exec sends its errno through this pipe; a successful one closes it unseen.
  int exec_report[2];
  if (pipe2(exec_report, O_CLOEXEC) != 0) throw HostFailure("pipe2", errno);

  pin_to_current_cpu();
  // vfork: the child borrows the runner's memory until its exec instead of copying its page
  // tables (and the runner then pays no copy-on-write faults). Every signal stays blocked across
  // it: a handler run in the child would act on the runner's memory.
  sigset_t all_signals, runner_mask;
  sigfillset(&all_signals);
  sigprocmask(SIG_SETMASK, &all_signals, &runner_mask);
  pid_ = vfork();
  if (pid_ == 0) {
    // Only system calls from here to the exec or _exit: the memory is the runner's.
    // The runner ignores SIGPIPE and catches the stop signals for itself; the program starts
    // with the default actions and nothing blocked (the runner blocks SIGCHLD to wait on its
    // programs).
    for (int handled : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGALRM}) signal(handled, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Traced from before exec: the exec stops the child with SIGTRAP before the program's
    // first instruction, and nothing runs until the runner has set its options.
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0) exec();
    const int failure = errno;
    ssize_t ignored = write(exec_report[1], &failure, sizeof failure);
    (void)ignored;
    _exit(127);
  }
  const int fork_errno = errno;
  sigprocmask(SIG_SETMASK, &runner_mask, nullptr);
  if (pid_ < 0) {
    close(exec_report[0]);
    close(exec_report[1]);
    throw HostFailure("vfork", fork_errno);
  }
  alive_ = true;
  kill_on_stop_ = std::make_unique<KillOnStop>(pid_);
  close(exec_report[1]);
  int exec_errno = 0;
  ssize_t got;
  do {
    got = read(exec_report[0], &exec_errno, sizeof exec_errno);
  } while (got < 0 && errno == EINTR);
  close(exec_report[0]);
  if (got == static_cast<ssize_t>(sizeof exec_errno)) {
    reap();
    if (refused != nullptr) {
      *refused = exec_errno;
      return false;
    }
    throw ExecFailure(std::string("Linux cannot execute it: ") + std::strerror(exec_errno), exec_errno);
  }
  wait_for_exec();
  const long options = PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL;
  checked_ptrace(PTRACE_SETOPTIONS, "PTRACE_SETOPTIONS", pid_, nullptr, reinterpret_cast<void*>(options));
  return true;
}

// The exec stops the child with SIGTRAP before the program's first instruction. A signal
// that comes first is handed on with PTRACE_CONT (the child still runs the runner's code,
// or the signal ends it); never PTRACE_SYSEMU, which would skip the execve itself. A child
// that ends here was killed by Linux past the point of no return of a failed exec.
void Tracee::wait_for_exec() {
  for (;;) {
    const int status = checked_waitpid(pid_);
    if (WIFSTOPPED(status) && WSTOPSIG(status) == SIGTRAP) return;
    if (WIFSTOPPED(status)) {
      checked_ptrace(PTRACE_CONT, "PTRACE_CONT", pid_, nullptr, reinterpret_cast<void*>(static_cast<long>(WSTOPSIG(status))));
      continue;
    }
    if (!WIFEXITED(status) && !WIFSIGNALED(status)) continue;
    alive_ = false;
    const char* signal = WIFSIGNALED(status) ? sigabbrev_np(WTERMSIG(status)) : nullptr;
    const std::string how = WIFEXITED(status) ? "it ended with status " + std::to_string(WEXITSTATUS(status))
                            : signal != nullptr ? std::string("it was killed by SIG") + signal
                                                : "it was killed by signal " + std::to_string(WTERMSIG(status));
    throw ExecFailure("Linux could not load it (" + how + " before its first instruction)");
  }
}

Tracee::~Tracee() {
  if (alive_) {
    try {
      kill();
    } catch (const HostFailure&) {
      // Nothing more can be done; PTRACE_O_EXITKILL ends the program with the runner.
    }
  }
}

void Tracee::resume(int signal) {
  checked_ptrace(PTRACE_SYSEMU, "PTRACE_SYSEMU", pid_, nullptr, reinterpret_cast<void*>(static_cast<long>(signal)));
}

TrapEvent Tracee::next_trap() {
  try {
    if (vanished_) return reap();
    resume(0);
    return wait_for_trap();
  } catch (const HostFailure& failure) {
    // ESRCH: the program died (SIGKILL from outside) between two ptrace requests. That is
    // its end, not the runner's failure: collect how it ended.
    if (failure.host_errno() != ESRCH) throw;
    return reap();
  }
}

TrapEvent Tracee::wait_for_trap() {
  for (;;) {
    if (std::optional<TrapEvent> event = on_status(checked_waitpid(pid_))) return *event;
  }
}

void Tracee::run_to_trap(int signal) {
  try {
    resume(signal);
  } catch (const HostFailure& failure) {
    // Killed from outside: waitpid reports its end all the same.
    if (failure.host_errno() != ESRCH) throw;
  }
}

std::optional<TrapEvent> Tracee::on_status(int status) {
  if (WIFEXITED(status) || WIFSIGNALED(status)) return ended(status);
  if (!WIFSTOPPED(status)) return std::nullopt;

  // A program killed from outside (a stop, a timeout) after this stop was reported has no
  // registers left to read: nothing to serve, and the next waitpid reports its end.
  user_regs_struct regs;
  if (WSTOPSIG(status) == kSyscallStop) {
    if (!read_registers(regs)) return std::nullopt;
    TrapEvent event;
    event.kind = TrapEvent::Kind::call;
    // Linux keeps the call number in orig_rax: by now rax holds -ENOSYS.
    event.call.number = static_cast<uint32_t>(regs.orig_rax);
    event.call.args = {static_cast<uint32_t>(regs.rbx), static_cast<uint32_t>(regs.rcx),
                       static_cast<uint32_t>(regs.rdx), static_cast<uint32_t>(regs.rsi),
                       static_cast<uint32_t>(regs.rdi), static_cast<uint32_t>(regs.rbp)};
    return event;
  }

  // A signal on its way to the program, or a group stop (for which GETSIGINFO fails with
  // EINVAL). Note where the program stands, then let the signal take its default course:
  // nothing for those whose default is to ignore, the end of the program for the others.
  siginfo_t info;
  errno = 0;
  if (ptrace(PTRACE_GETSIGINFO, pid_, nullptr, &info) == -1) {
    if (errno != EINVAL) throw HostFailure("ptrace(PTRACE_GETSIGINFO)", errno);
    run_to_trap();
    return std::nullopt;
  }
  if (!read_registers(regs)) return std::nullopt;
  last_eip_ = static_cast<uint32_t>(regs.rip);
  have_last_eip_ = true;
  run_to_trap(WSTOPSIG(status));
  return std::nullopt;
}

bool Tracee::read_registers(user_regs_struct& regs) {
  if (ptrace(PTRACE_GETREGS, pid_, nullptr, &regs) == 0) return true;
  if (errno != ESRCH) throw HostFailure("ptrace(PTRACE_GETREGS)", errno);
  return false;
}

TrapEvent Tracee::ended(int status) {
  alive_ = false;
  TrapEvent event;
  if (WIFEXITED(status)) {
    event.kind = TrapEvent::Kind::exited;
    event.exit_status = WEXITSTATUS(status);
  } else {
    event.kind = TrapEvent::Kind::killed;
    event.signal = WTERMSIG(status);
    // The address is known when the fatal signal passed through a stop; SIGKILL never does.
    event.have_eip = have_last_eip_ && event.signal != SIGKILL;
    event.eip = last_eip_;
  }
  return event;
}

TrapEvent Tracee::reap() {
  for (;;) {
    const int status = checked_waitpid(pid_);
    if (WIFEXITED(status) || WIFSIGNALED(status)) return ended(status);
  }
}

void Tracee::answer(int32_t result) {
  // The result is sign-extended; a 32-bit program sees its low half in eax.
  errno = 0;
  if (ptrace(PTRACE_POKEUSER, pid_, reinterpret_cast<void*>(offsetof(user_regs_struct, rax)),
             reinterpret_cast<void*>(static_cast<long>(result))) == -1 && errno != 0) {
    if (errno != ESRCH) throw HostFailure("ptrace(PTRACE_POKEUSER)", errno);
    vanished_ = true;  // killed from outside; next_trap collects its end
  }
}

void Tracee::kill() {
  if (!alive_) return;
  if (::kill(pid_, SIGKILL) < 0 && errno != ESRCH) throw HostFailure("kill", errno);
  for (;;) {
    const int status = checked_waitpid(pid_);
    if (WIFEXITED(status) || WIFSIGNALED(status)) break;
  }
  alive_ = false;
}

std::unique_ptr<GuestMemory> Tracee::memory() { return std::make_unique<ProcessMemory>(pid_); }

int32_t Tracee::linux_call(uint32_t number, const std::array<uint32_t, 6>& args) {
  return remote_linux_call(pid_, number, args);
}

}  // namespace vornos::kernel
