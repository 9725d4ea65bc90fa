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

// The program could not be executed at all (execve failed in the child).
class ExecFailure : public HostFailure {
 public:
  ExecFailure(const std::string& path, int host_errno) : HostFailure("execve " + path, host_errno) {}
};

}  // namespace vornos::kernel
