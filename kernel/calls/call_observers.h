// What watches the calls from outside them: the test hooks that record and script calls, and
// the trace that prints them. The calls and the event loop know them only by these interfaces.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/guest.h"
#include "base/guest_memory.h"

namespace vornos::kernel {

// Sees every call as it is made, before it is served.
class CallInterceptor {
 public:
  virtual ~CallInterceptor() = default;
  // The answer that takes the place of serving `call`, or nothing to serve it; `call` may be
  // changed on the way (a scripted short write lowers its count). Asked once per call, not
  // again while the call waits.
  virtual std::optional<int32_t> intercept(KernelCall& call, GuestMemory& memory) = 0;
  // While this answers true, what descriptor 1 is given goes to capture() instead.
  virtual bool capturing() const = 0;
  // Takes what it can of `bytes`: the count, or a negative code when none fit.
  virtual int32_t capture(std::span<const std::byte> bytes) = 0;
};

// Told what the programs of a run do, as they do it.
class CallTrace {
 public:
  virtual ~CallTrace() = default;
  virtual void program_started(int32_t id) = 0;
  // A call answered: as the program made it, with its result (none for a call that ended the
  // program); `memory` as it is after the call.
  virtual void call_served(int32_t id, const KernelCall& call, std::optional<int32_t> result, GuestMemory& memory) = 0;
  // How a program ended: "exited with 3", "killed by SIGSEGV".
  virtual void program_ended(int32_t id, std::string_view how) = 0;
};

}  // namespace vornos::kernel
