// getkey and usleep: calls whose process waits on the runner's input or on time.
#include <array>

#include "base/error_codes.h"
#include "process/process_calls.h"
#include "base/blocking.h"
#include "process/scheduler.h"

namespace vornos::kernel {

int32_t ProcessCalls::getkey() {
  OpenFile* input = self_.process->descriptors.find(0);
  if (input == nullptr) return kBadDescriptor;
  const bool terminal = scheduler_.host_descriptor(input) == 0;
  if (terminal) {
    // In key mode while the key is awaited, so that the terminal hands it over unechoed.
    scheduler_.key_mode().enter();
    if (!Scheduler::host_ready(0, POLLIN)) {
      self_.host_wait = pollfd{0, POLLIN, 0};
      return kWouldWait;
    }
  }
  std::array<std::byte, 1> key;
  const int32_t got = input->read(key);
  if (terminal) scheduler_.key_mode().leave();
  if (got == 1) return static_cast<int32_t>(key[0]);
  return got == 0 ? -1 : got;
}

int32_t ProcessCalls::usleep(uint32_t microseconds) {
  if (!self_.wake_at) self_.wake_at = Clock::now() + std::chrono::microseconds(microseconds);
  return Clock::now() >= *self_.wake_at ? 0 : kWouldWait;
}

}  // namespace vornos::kernel
