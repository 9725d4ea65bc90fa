// write and read: descriptors, guest buffers, host devices, volume files and pipes.
#include <algorithm>
#include <array>

#include "base/blocking.h"
#include "base/error_codes.h"
#include "calls/call_table.h"
#include "calls/guest_transfer.h"
#include "calls/handlers.h"

namespace vornos::kernel::handlers {
namespace {

// How many bytes from `buffer` on the program can have written into it, found by writing
// back what is there: the program is stopped, so nothing changes. Reading input before
// knowing this could consume bytes from the host that then have nowhere to go.
size_t writable_length(GuestMemory& memory, uint32_t buffer, std::span<std::byte> scratch) {
  const size_t readable = memory.read_some(buffer, scratch);
  return memory.write_some(buffer, scratch.first(readable));
}

// Alone, a program may wait in the runner on the runner's own input or output; beside others,
// or under the debugger (whose interrupt must be seen), it waits in the event loop, unresumed,
// until that is ready. A non-blocking descriptor answers -11 instead of waiting.
std::optional<CallOutcome> wait_for_runner(CallContext& context, const OpenFile& file, short events) {
  const int host = file.runner_descriptor();
  const bool alone = context.programs == nullptr || context.programs->alone();
  if (host < 0 || (alone && !file.nonblocking) || runner_descriptor_ready(host, events)) return std::nullopt;
  if (file.nonblocking) return CallOutcome{kTryAgain};
  return CallOutcome::waiting(WaitCondition::runner_ready(host, events));
}

// A result that cannot be had yet: a wait for another program, or -11 on a non-blocking descriptor.
CallOutcome wait_on_pipe(const OpenFile& file) {
  return file.nonblocking ? CallOutcome{kTryAgain} : CallOutcome::waiting(WaitCondition::pipe());
}

int32_t write_bytes(CallContext& context, OpenFile& file, int32_t fd, uint32_t buffer, uint32_t count) {
  count = std::min(count, kLargestCount);
  if (count == 0) return file.write({});
  CallInterceptor* hooks = context.hooks;
  if (fd == 1 && hooks != nullptr && hooks->capturing()) {
    return write_from_guest(context.memory, buffer, count, [hooks](std::span<const std::byte> bytes) { return hooks->capture(bytes); });
  }
  return write_from_guest(context.memory, buffer, count, [&file](std::span<const std::byte> bytes) { return file.write(bytes); });
}

int32_t read_bytes(GuestMemory& memory, OpenFile& file, uint32_t buffer, uint32_t count) {
  count = std::min(count, kLargestCount);
  if (count == 0) return file.read({});
  std::array<std::byte, kChunk> chunk;
  const int64_t start = file.position();
  if (start < 0) {
    // A device: what it hands over is gone from it, so take no more than the program can keep.
    const size_t room = writable_length(memory, buffer, std::span(chunk).first(std::min<size_t>(count, kChunk)));
    if (count > 0 && room == 0) return kBadAddress;
    const int32_t got = file.read(std::span(chunk).first(room));
    if (got <= 0) return got;
    if (memory.write(buffer, std::span(chunk).first(static_cast<size_t>(got))) != 0) return kBadAddress;
    return got;
  }
  // A file: read chunk by chunk up to the count or the end; where the program's buffer ends
  // early the position goes back to just after the last byte it received.
  uint32_t done = 0;
  while (done < count) {
    const size_t wanted = std::min<size_t>(kChunk, count - done);
    const int32_t got = file.read(std::span(chunk).first(wanted));
    if (got <= 0) return done > 0 ? static_cast<int32_t>(done) : got;
    const size_t kept = memory.write_some(buffer + done, std::span(chunk).first(static_cast<size_t>(got)));
    done += static_cast<uint32_t>(kept);
    if (kept < static_cast<size_t>(got)) {
      file.set_position(static_cast<uint64_t>(start) + done);
      return done > 0 ? static_cast<int32_t>(done) : kBadAddress;
    }
    if (static_cast<size_t>(got) < wanted) break;
  }
  return static_cast<int32_t>(done);
}

}  // namespace

CallOutcome write(CallContext& context, const CallArgs& args) {
  // Bytes a pipe took before the write waited count, whatever ends the write.
  const uint32_t done = context.pending.done;
  const auto finished = [done](int32_t result) {
    if (done == 0) return CallOutcome{result};
    return CallOutcome{result >= 0 ? result + static_cast<int32_t>(done) : static_cast<int32_t>(done)};
  };
  const auto fd = static_cast<int32_t>(args[0]);
  OpenFile* file = context.files.descriptors.find(fd);
  if (file == nullptr) return finished(kBadDescriptor);
  if (std::optional<CallOutcome> wait = wait_for_runner(context, *file, POLLOUT)) return wait->wait ? *wait : finished(wait->result);
  const uint32_t left = args[2] - done;
  const int32_t result = write_bytes(context, *file, fd, args[1] + done, left);
  // A blocking write to a pipe completes: what fit is done, the rest waits for room.
  if (result > 0 && static_cast<uint32_t>(result) < left && file->writes_whole() && !file->nonblocking) {
    context.pending.done += static_cast<uint32_t>(result);
    return CallOutcome::waiting(WaitCondition::pipe());
  }
  if (result == kWouldWait) {
    const CallOutcome waited = wait_on_pipe(*file);
    return waited.wait ? waited : finished(waited.result);
  }
  return finished(result);
}

CallOutcome read(CallContext& context, const CallArgs& args) {
  OpenFile* file = context.files.descriptors.find(static_cast<int32_t>(args[0]));
  if (file == nullptr) return {kBadDescriptor};
  if (std::optional<CallOutcome> wait = wait_for_runner(context, *file, POLLIN)) return *wait;
  const int32_t result = read_bytes(context.memory, *file, args[1], args[2]);
  if (result == kWouldWait) return wait_on_pipe(*file);
  return {result};
}

}  // namespace vornos::kernel::handlers
