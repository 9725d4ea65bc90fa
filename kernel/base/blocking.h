// The answer of a call that cannot complete yet: its process waits and the call is served again.
#pragma once

#include <cstdint>

namespace vornos::kernel {

// Never reaches a program: the scheduler keeps the caller stopped and serves the same call
// again once something has changed (the value is the one Linux uses inside for the same).
inline constexpr int32_t kWouldWait = -512;
// A descriptor set to non-blocking answers kTryAgain (base/error_codes.h) instead of waiting.

}  // namespace vornos::kernel
