// The --trace line of a served call: name, decoded arguments, result; strace's look.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/guest_memory.h"
#include "base/guest.h"

namespace vornos::kernel {

// The call's name from the system's call list ("write"), or empty for an unknown number.
std::string_view call_name(uint32_t number);

// Shows up to `limit` bytes as a C string literal, escaping quotes, backslashes and
// unprintable bytes, with "..." after the closing quote when more bytes were given.
std::string quote_bytes(std::string_view bytes, size_t limit);

// Formats one call as served, without a newline: `write(1, "mendir: r"..., 9) = 9`,
// `repair_dirents("/") = -38 ENOSYS`, `exit(0)`. `result` is empty for a call that ended
// the program. Buffers are read from `memory` as they are after the call, so a read shows
// the bytes it delivered; an unreadable pointer is shown as its address.
std::string format_call(const KernelCall& call, std::optional<int32_t> result, GuestMemory& memory);

// How many bytes of a string or buffer a trace line shows.
inline constexpr size_t kTraceStringLimit = 32;

}  // namespace vornos::kernel
