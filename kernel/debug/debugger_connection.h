// The byte stream to the debugger: a socket in the runner, a script in the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vornos::debug {

class DebuggerConnection {
 public:
  virtual ~DebuggerConnection() = default;
  // All of `bytes`; false when the debugger has gone.
  virtual bool send(std::string_view bytes) = 0;
  // Waits at most `timeout_ms` (-1: without limit) for bytes: their count, 0 when none came in
  // time, -1 when the debugger has gone.
  virtual long receive(std::span<uint8_t> buffer, int timeout_ms) = 0;
};

}  // namespace vornos::debug
