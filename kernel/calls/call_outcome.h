// What serving a call came to: a result, the end of the program, or what the call waits for.
#pragma once

#include <cstdint>
#include <optional>

#include "calls/wait_condition.h"

namespace vornos::kernel {

struct CallOutcome {
  int32_t result = 0;
  bool ends_program = false;
  int exit_status = 0;  // when ends_program: the status as a process status (low 8 bits)
  // Set when the call cannot complete yet: it is served again once this may be met.
  std::optional<WaitCondition> wait = std::nullopt;

  static CallOutcome end_of_program(int status) { return {0, true, status, std::nullopt}; }
  static CallOutcome waiting(WaitCondition condition) { return {0, false, 0, condition}; }
};

}  // namespace vornos::kernel
