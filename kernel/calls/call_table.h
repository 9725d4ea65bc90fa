// The call table: one row per kernel call, from its number to the handler that serves it.
#pragma once

#include <cstdint>

#include "base/abi.h"
#include "base/guest.h"
#include "calls/call_context.h"
#include "calls/call_outcome.h"

namespace vornos::kernel {

using CallHandler = CallOutcome (*)(CallContext& context, const CallArgs& args);

struct CallRow {
  uint32_t number;
  CallHandler handler;
};

// Starts serving `call` for the program of `context`: the test hooks see it first, then its
// row's handler serves it. Calls without a row answer -38. A call that waits is served
// again with serve_again() once its condition may be met.
CallOutcome serve_call(CallContext& context, const KernelCall& call);
CallOutcome serve_again(CallContext& context);

}  // namespace vornos::kernel
