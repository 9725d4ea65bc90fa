// One system call made inside a stopped program: registers set, an int 0x80 run, all restored.
#include "platform/remote_call.h"

#include <signal.h>
#include <sys/ptrace.h>
#include <sys/user.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>

#include "base/host_failure.h"

namespace vornos::kernel {
namespace {

long traced(int request, const char* name, pid_t pid, void* address, void* data) {
  errno = 0;
  const long value = ptrace(static_cast<__ptrace_request>(request), pid, address, data);
  if (value == -1 && errno != 0) throw HostFailure(std::string("ptrace(") + name + ")", errno);
  return value;
}

// Resumes to the next system-call stop and says whether it is an entry or an exit.
uint8_t next_call_stop(pid_t pid) {
  for (;;) {
    traced(PTRACE_SYSCALL, "PTRACE_SYSCALL", pid, nullptr, nullptr);
    int status = 0;
    pid_t waited;
    do {
      waited = waitpid(pid, &status, __WALL);
    } while (waited < 0 && errno == EINTR);
    if (waited < 0) throw HostFailure("waitpid", errno);
    if (WIFEXITED(status) || WIFSIGNALED(status)) throw ProgramEnded(status);
    if (!WIFSTOPPED(status) || WSTOPSIG(status) != (SIGTRAP | 0x80)) continue;  // a signal: dropped
    __ptrace_syscall_info info{};
    traced(PTRACE_GET_SYSCALL_INFO, "PTRACE_GET_SYSCALL_INFO", pid, reinterpret_cast<void*>(sizeof info), &info);
    return info.op;
  }
}

}  // namespace

int32_t remote_linux_call(pid_t pid, uint32_t number, const std::array<uint32_t, 6>& args) {
  user_regs_struct saved;
  traced(PTRACE_GETREGS, "PTRACE_GETREGS", pid, nullptr, &saved);
  const auto at = reinterpret_cast<void*>(saved.rip);
  const long code = traced(PTRACE_PEEKTEXT, "PTRACE_PEEKTEXT", pid, at, nullptr);
  // int 0x80 is CD 80; the bytes after it stay as they are.
  const long with_call = (code & ~0xffffL) | 0x80cd;
  traced(PTRACE_POKETEXT, "PTRACE_POKETEXT", pid, at, reinterpret_cast<void*>(with_call));

  user_regs_struct regs = saved;
  regs.rax = number;
  regs.orig_rax = number;
  regs.rbx = args[0], regs.rcx = args[1], regs.rdx = args[2];
  regs.rsi = args[3], regs.rdi = args[4], regs.rbp = args[5];
  traced(PTRACE_SETREGS, "PTRACE_SETREGS", pid, nullptr, &regs);

  // The trap the program stopped at was skipped under PTRACE_SYSEMU; resumed with
  // PTRACE_SYSCALL it may first report that skipped call's exit. Then comes the entry of
  // the call written above, and its exit with the result.
  bool entered = false;
  for (;;) {
    const uint8_t op = next_call_stop(pid);
    if (op == PTRACE_SYSCALL_INFO_ENTRY) entered = true;
    if (op == PTRACE_SYSCALL_INFO_EXIT && entered) break;
  }
  traced(PTRACE_GETREGS, "PTRACE_GETREGS", pid, nullptr, &regs);
  const auto result = static_cast<int32_t>(regs.rax);
  traced(PTRACE_POKETEXT, "PTRACE_POKETEXT", pid, at, reinterpret_cast<void*>(code));
  traced(PTRACE_SETREGS, "PTRACE_SETREGS", pid, nullptr, &saved);
  return result;
}

}  // namespace vornos::kernel
