// getkey and usleep: calls whose program waits on the runner's input or on time.
#include <array>

#include "base/blocking.h"
#include "base/error_codes.h"
#include "calls/handlers.h"

namespace vornos::kernel::handlers {
namespace {

void set_key_mode(CallContext& context, bool on) {
  if (context.programs != nullptr) context.programs->set_key_mode(on);
}

}  // namespace

CallOutcome getkey(CallContext& context, const CallArgs&) {
  OpenFile* input = context.files.descriptors.find(0);
  if (input == nullptr) return {kBadDescriptor};
  const bool runner_input = input->runner_descriptor() == 0;
  if (runner_input) {
    // In key mode while the key is awaited, so that the terminal hands it over unechoed.
    set_key_mode(context, true);
    if (!runner_descriptor_ready(0, POLLIN)) {
      return input->nonblocking ? CallOutcome{kTryAgain} : CallOutcome::waiting(WaitCondition::runner_ready(0, POLLIN));
    }
  }
  std::array<std::byte, 1> key;
  const int32_t got = input->read(key);
  if (runner_input) set_key_mode(context, false);
  if (got == kWouldWait) return input->nonblocking ? CallOutcome{kTryAgain} : CallOutcome::waiting(WaitCondition::pipe());
  if (got == 1) return {static_cast<int32_t>(key[0])};
  return {got == 0 ? -1 : got};
}

CallOutcome usleep(CallContext& context, const CallArgs& args) {
  std::optional<Clock::time_point>& wake_at = context.pending.wake_at;
  if (!wake_at) wake_at = Clock::now() + std::chrono::microseconds(args[0]);
  if (Clock::now() >= *wake_at) return {0};
  return CallOutcome::waiting(WaitCondition::until(*wake_at));
}

}  // namespace vornos::kernel::handlers
