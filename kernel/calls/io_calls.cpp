// Calls 1 (write) and 3 (read): descriptors, guest buffers and host devices.
#include <algorithm>
#include <array>

#include "calls/call_table.h"
#include "calls/error_codes.h"
#include "test_hooks/test_hooks.h"

namespace vornos::kernel {
namespace {

constexpr size_t kChunk = 64 * 1024;

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

// How many bytes from `buffer` on the program can have written into it, found by writing
// back what is there: the program is stopped, so nothing changes. Reading input before
// knowing this could consume bytes from the host that then have nowhere to go.
size_t writable_length(GuestMemory& memory, uint32_t buffer, std::span<std::byte> scratch) {
  const size_t readable = memory.read_some(buffer, scratch);
  return memory.write_some(buffer, scratch.first(readable));
}

}  // namespace

int32_t CallTable::write(GuestMemory& memory, int32_t fd, uint32_t buffer, uint32_t count) {
  Device* device = descriptors_.find(fd);
  if (device == nullptr) return kBadDescriptor;
  count = std::min(count, kLargestCount);
  if (count == 0) return device->write({});
  if (fd == 1 && hooks_ != nullptr && hooks_->capturing()) {
    return write_from_guest(memory, buffer, count, [this](std::span<const std::byte> bytes) { return hooks_->capture(bytes); });
  }
  return write_from_guest(memory, buffer, count, [device](std::span<const std::byte> bytes) { return device->write(bytes); });
}

int32_t CallTable::read(GuestMemory& memory, int32_t fd, uint32_t buffer, uint32_t count) {
  Device* device = descriptors_.find(fd);
  if (device == nullptr) return kBadDescriptor;
  count = std::min(count, kLargestCount);
  std::array<std::byte, kChunk> chunk;
  const size_t room = writable_length(memory, buffer, std::span(chunk).first(std::min<size_t>(count, kChunk)));
  if (count > 0 && room == 0) return kBadAddress;
  const int32_t got = device->read(std::span(chunk).first(room));
  if (got <= 0) return got;
  if (memory.write(buffer, std::span(chunk).first(static_cast<size_t>(got))) != 0) return kBadAddress;
  return got;
}

}  // namespace vornos::kernel
