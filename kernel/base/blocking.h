// The answer of an operation that cannot complete yet: its caller waits and tries again.
#pragma once

#include <cstdint>

namespace vornos::kernel {

// What an open file answers where its caller must wait. Never reaches a program: the
// call's handler turns it into a wait condition, or into -11 on a non-blocking descriptor
// (the value is the one Linux uses inside for the same).
inline constexpr int32_t kWouldWait = -512;
// A descriptor set to non-blocking answers kTryAgain (base/error_codes.h) instead of waiting.

}  // namespace vornos::kernel
