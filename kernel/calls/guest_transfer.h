// Moving a program's buffer to the kernel piece by piece.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/error_codes.h"
#include "base/guest_memory.h"

namespace vornos::kernel {

inline constexpr size_t kChunk = 64 * 1024;

// Feeds the program's buffer to `sink` chunk by chunk. Like a real kernel it stops at the
// first unreadable byte and answers with what was taken, or -14 if that was nothing; a
// sink that takes less than it was given ends the write there.
template <typename Sink>
int32_t write_from_guest(GuestMemory& memory, uint32_t buffer, uint32_t count, Sink sink) {
  std::array<std::byte, kChunk> chunk;
  uint32_t done = 0;
  while (done < count) {
    const size_t wanted = std::min<size_t>(kChunk, count - done);
    const size_t got = memory.read_some(buffer + done, std::span(chunk).first(wanted));
    if (got == 0) return done > 0 ? static_cast<int32_t>(done) : kBadAddress;
    const int32_t taken = sink(std::span<const std::byte>(chunk.data(), got));
    if (taken < 0) return done > 0 ? static_cast<int32_t>(done) : taken;
    done += static_cast<uint32_t>(taken);
    if (static_cast<size_t>(taken) < got || got < wanted) break;
  }
  return static_cast<int32_t>(done);
}

}  // namespace vornos::kernel
