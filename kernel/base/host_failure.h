// The error the runner raises when a host operation it depends on fails.
#pragma once

#include <stdexcept>
#include <string>

namespace vornos::kernel {

// Carries the operation and the host errno, e.g. "ptrace(PTRACE_GETREGS): No such process".
class HostFailure : public std::runtime_error {
 public:
  HostFailure(const std::string& operation, int host_errno);
  int host_errno() const { return host_errno_; }

 private:
  int host_errno_;
};

// Linux would not run the program: its execve failed, or the program died while Linux was
// loading it. That is a refusal of the program, not a failure of the runner; what() says why.
class ExecFailure : public std::runtime_error {
 public:
  explicit ExecFailure(const std::string& reason, int host_errno = 0)
      : std::runtime_error(reason), host_errno_(host_errno) {}
  // The errno of a failed execve (ENOEXEC where Linux runs no 32-bit code); 0 otherwise.
  int host_errno() const { return host_errno_; }

 private:
  int host_errno_;
};

}  // namespace vornos::kernel
