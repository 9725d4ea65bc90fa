// mmap and munmap: mappings made by Linux inside the program, filled from the volume.
#include <sys/mman.h>

#include <array>

#include "base/abi.h"
#include "base/error_codes.h"
#include "calls/guest_transfer.h"
#include "calls/handlers.h"

namespace vornos::kernel::handlers {
namespace {

constexpr int32_t kMapFailed = -1;
constexpr uint32_t kPage = abi::kPageSize;
constexpr uint32_t kProtections = PROT_READ | PROT_WRITE | PROT_EXEC;
constexpr uint32_t kFlags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED;

bool linux_failed(int32_t result) { return static_cast<uint32_t>(result) > 0xFFFFF000u; }

}  // namespace

CallOutcome mmap(CallContext& context, const CallArgs& args) {
  const uint32_t address = args[0], length = args[1], protection = args[2], flags = args[3], offset = args[5];
  if (context.guest == nullptr) return {kNotImplemented};
  // Private mappings only: anonymous ones, or a copy of a volume file's bytes at this call.
  if (length == 0 || (protection & ~kProtections) != 0 || (flags & ~kFlags) != 0 || (flags & MAP_PRIVATE) == 0) {
    return {kMapFailed};
  }
  const bool anonymous = (flags & MAP_ANONYMOUS) != 0;
  OpenFile* file = nullptr;
  if (!anonymous) {
    file = context.files.descriptors.find(static_cast<int32_t>(args[4]));
    if (file == nullptr || file->position() < 0 || offset % kPage != 0) return {kMapFailed};
  }
  Guest& guest = *context.guest;
  const uint32_t first_protection = anonymous ? protection : PROT_READ | PROT_WRITE;
  const uint32_t linux_flags = MAP_PRIVATE | MAP_ANONYMOUS | (flags & MAP_FIXED);
  const int32_t mapped = guest.linux_call(linux_i386::mmap2, {address, length, first_protection, linux_flags, 0xFFFFFFFFu, 0});
  if (linux_failed(mapped) || anonymous) return {linux_failed(mapped) ? kMapFailed : mapped};

  // The file's bytes from `offset` on, as far as the file and the mapping go; the rest stays zero.
  const int64_t kept_position = file->position();
  file->set_position(offset);
  std::array<std::byte, kChunk> chunk;
  uint32_t done = 0;
  int32_t got = 0;
  while (done < length && (got = file->read(std::span(chunk).first(std::min<size_t>(kChunk, length - done)))) > 0) {
    if (context.memory.write(static_cast<uint32_t>(mapped) + done, std::span(chunk).first(static_cast<size_t>(got))) != 0) {
      got = kBadAddress;
      break;
    }
    done += static_cast<uint32_t>(got);
  }
  file->set_position(static_cast<uint64_t>(kept_position));
  if (got < 0 || (protection != first_protection &&
                  linux_failed(guest.linux_call(linux_i386::mprotect, {static_cast<uint32_t>(mapped), length, protection, 0, 0, 0})))) {
    guest.linux_call(linux_i386::munmap, {static_cast<uint32_t>(mapped), length, 0, 0, 0, 0});
    return {kMapFailed};
  }
  return {mapped};
}

CallOutcome munmap(CallContext& context, const CallArgs& args) {
  const uint32_t address = args[0], length = args[1];
  if (context.guest == nullptr) return {kNotImplemented};
  if (address % kPage != 0 || length == 0) return {kInvalidArgument};
  const int32_t result = context.guest->linux_call(linux_i386::munmap, {address, length, 0, 0, 0, 0});
  return {linux_failed(result) ? kInvalidArgument : 0};
}

}  // namespace vornos::kernel::handlers
