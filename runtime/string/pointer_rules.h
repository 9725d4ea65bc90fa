// The pointer tests that the string functions apply before touching a string.
#pragma once

#include <stdint.h>

#include "vornos/abi/limits.h"

namespace vornos {

// The lowest page is never valid memory: a pointer into it, null included, is treated as a
// missing string and never read.
constexpr uintptr_t kLowPointerLimit = abi::kPageSize;

inline bool is_low_pointer(const void* p) { return reinterpret_cast<uintptr_t>(p) < kLowPointerLimit; }

}  // namespace vornos
