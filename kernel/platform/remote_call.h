// Making a real Linux system call inside a traced program, on its behalf.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <exception>

#include "base/guest.h"

namespace vornos::kernel {

// The program ended (killed from outside) while the kernel made a call inside it; carries
// the status waitpid reported, which the run still needs.
class ProgramEnded : public std::exception {
 public:
  explicit ProgramEnded(int wait_status) : wait_status(wait_status) {}
  const char* what() const noexcept override { return "the program ended during a call made inside it"; }
  int wait_status;
};

// Runs Linux call `number` with `args` (ebx, ecx, edx, esi, edi, ebp) in the program `pid`,
// which must be stopped at the trap of one of its own calls, and answers Linux's result
// (a negative errno on failure). The program's registers and code are as before afterwards.
// Works whatever way the program entered the trap: an `int 0x80` is written over its next
// instruction for the one call and put back. Throws ProgramEnded when the program ends
// meanwhile, HostFailure when tracing fails.
int32_t remote_linux_call(pid_t pid, uint32_t number, const std::array<uint32_t, 6>& args);

}  // namespace vornos::kernel
