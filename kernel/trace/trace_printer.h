// The --trace line of a served call: name, decoded arguments, result; strace's look.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <cstdio>

#include "base/guest.h"
#include "base/guest_memory.h"
#include "calls/call_observers.h"

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

// --trace: one line per answered call on `output`, and strace's last line for each program
// ("+++ exited with 3 +++"); once a second program has started, every line names its program
// ("[pid 2] ").
class CallTracer final : public CallTrace {
 public:
  explicit CallTracer(std::FILE* output) : output_(output) {}
  void program_started(int32_t id) override;
  void call_served(int32_t id, const KernelCall& call, std::optional<int32_t> result, GuestMemory& memory) override;
  void program_ended(int32_t id, std::string_view how) override;

 private:
  void print(int32_t id, const std::string& line);

  std::FILE* output_;
  int started_ = 0;
};

}  // namespace vornos::kernel
