// Calls 1 (write) and 3 (read): descriptors, guest buffers, host devices and volume files.
#include <algorithm>
#include <array>

#include "calls/call_table.h"
#include "base/error_codes.h"
#include "calls/guest_transfer.h"
#include "test_hooks/test_hooks.h"

namespace vornos::kernel {
namespace {

// How many bytes from `buffer` on the program can have written into it, found by writing
// back what is there: the program is stopped, so nothing changes. Reading input before
// knowing this could consume bytes from the host that then have nowhere to go.
size_t writable_length(GuestMemory& memory, uint32_t buffer, std::span<std::byte> scratch) {
  const size_t readable = memory.read_some(buffer, scratch);
  return memory.write_some(buffer, scratch.first(readable));
}

}  // namespace

int32_t CallTable::write(GuestMemory& memory, int32_t fd, uint32_t buffer, uint32_t count) {
  OpenFile* file = process_.descriptors.find(fd);
  if (file == nullptr) return kBadDescriptor;
  count = std::min(count, kLargestCount);
  if (count == 0) return file->write({});
  if (fd == 1 && hooks_ != nullptr && hooks_->capturing()) {
    return write_from_guest(memory, buffer, count, [this](std::span<const std::byte> bytes) { return hooks_->capture(bytes); });
  }
  return write_from_guest(memory, buffer, count, [file](std::span<const std::byte> bytes) { return file->write(bytes); });
}

int32_t CallTable::read(GuestMemory& memory, int32_t fd, uint32_t buffer, uint32_t count) {
  OpenFile* file = process_.descriptors.find(fd);
  if (file == nullptr) return kBadDescriptor;
  count = std::min(count, kLargestCount);
  if (count == 0) return file->read({});
  std::array<std::byte, kChunk> chunk;
  const int64_t start = file->position();
  if (start < 0) {
    // A device: what it hands over is gone from it, so take no more than the program can keep.
    const size_t room = writable_length(memory, buffer, std::span(chunk).first(std::min<size_t>(count, kChunk)));
    if (count > 0 && room == 0) return kBadAddress;
    const int32_t got = file->read(std::span(chunk).first(room));
    if (got <= 0) return got;
    if (memory.write(buffer, std::span(chunk).first(static_cast<size_t>(got))) != 0) return kBadAddress;
    return got;
  }
  // A file: read chunk by chunk up to the count or the end; where the program's buffer ends
  // early the position goes back to just after the last byte it received.
  uint32_t done = 0;
  while (done < count) {
    const size_t wanted = std::min<size_t>(kChunk, count - done);
    const int32_t got = file->read(std::span(chunk).first(wanted));
    if (got <= 0) return done > 0 ? static_cast<int32_t>(done) : got;
    const size_t kept = memory.write_some(buffer + done, std::span(chunk).first(static_cast<size_t>(got)));
    done += static_cast<uint32_t>(kept);
    if (kept < static_cast<size_t>(got)) {
      file->set_position(static_cast<uint64_t>(start) + done);
      return done > 0 ? static_cast<int32_t>(done) : kBadAddress;
    }
    if (static_cast<size_t>(got) < wanted) break;
  }
  return static_cast<int32_t>(done);
}

}  // namespace vornos::kernel
