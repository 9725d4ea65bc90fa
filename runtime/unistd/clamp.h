// Normalisations that several kernel-call wrappers apply before the call.
#pragma once

#include <stdint.h>

#include "vornos/abi/limits.h"

namespace vornos {

// A count above the largest signed 32-bit value becomes that value, so that a full result
// always fits the non-negative half of the signed result.
inline uint32_t clamp_count(uint32_t count) { return count > abi::kLargestCount ? abi::kLargestCount : count; }

// The kernel takes truth values as exactly 1 or 0.
inline uint32_t truth(int value) { return value != 0 ? 1u : 0u; }

}  // namespace vornos
