// The stand-in kernel's error results: negative Linux-style numbers, as programs see them,
// named by the shared list of error codes (kNoSuchFile is -2).
#pragma once

#include <cstdint>
#include <string_view>

#include "vornos/abi/errors.h"

namespace vornos::kernel {

using namespace abi::error;

// The symbolic name of an error result ("EBADF" for -9), or an empty view for other values.
std::string_view error_name(int32_t result);

// The kernel's answer for a failed host operation: the negated host errno, which is the
// system's number for the same error (the list's numbers are Linux's).
constexpr int32_t from_host_errno(int host_errno) { return -static_cast<int32_t>(host_errno); }

}  // namespace vornos::kernel
