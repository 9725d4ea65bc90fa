// Everything a call's handler may touch: the caller's files and memory, the volume, the
// names, the other programs, the call in progress.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "base/guest.h"
#include "base/guest_memory.h"
#include "calls/call_observers.h"
#include "vfs/file_system.h"
#include "vfs/names.h"
#include "calls/process_control.h"
#include "calls/process_files.h"
#include "calls/wait_condition.h"

namespace vornos::kernel {

struct FifoOpening;  // made and used by the pipe calls only

using CallArgs = std::array<uint32_t, 6>;  // ebx, ecx, edx, esi, edi, ebp

// The call being served and what it keeps between its attempts while it waits.
struct PendingCall {
  KernelCall call{};  // as it is served (the test hooks may have changed it)
  uint32_t done = 0;  // bytes a write to a pipe has already put in while it waits for room
  std::optional<Clock::time_point> wake_at = std::nullopt;  // usleep's end
  std::shared_ptr<FifoOpening> opening = nullptr;  // an open of a fifo waiting for the other side
};

struct CallContext {
  CallContext(ProcessFiles& files, GuestMemory& memory, FileSystem* volume, Names& names)
      : files(files), memory(memory), volume(volume), names(names) {}

  ProcessFiles& files;
  GuestMemory& memory;
  FileSystem* volume;  // null when no volume is attached: the path calls answer -38
  Names& names;
  ProcessControl* programs = nullptr;  // null outside a run: spawn and waitpid answer -38
  Guest* guest = nullptr;              // null outside a run: the mappings answer -38
  CallInterceptor* hooks = nullptr;    // the test hooks, when enabled
  PendingCall pending;
};

}  // namespace vornos::kernel
