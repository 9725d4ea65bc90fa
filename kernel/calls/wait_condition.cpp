// When a waiting call is worth serving again.
#include "calls/wait_condition.h"

namespace vornos::kernel {

bool runner_descriptor_ready(int fd, short events) {
  pollfd watched{fd, events, 0};
  return poll(&watched, 1, 0) != 0;
}

bool WaitCondition::may_be_met(Clock::time_point now) const {
  switch (kind_) {
    case Kind::time: return now >= when_;
    case Kind::runner_descriptor: return runner_descriptor_ready(descriptor_.fd, descriptor_.events);
    case Kind::pipe:
    case Kind::fifo_partner:
    case Kind::child_end: return true;
  }
  return true;
}

std::optional<Clock::time_point> WaitCondition::deadline() const {
  if (kind_ == Kind::time) return when_;
  return std::nullopt;
}

std::optional<pollfd> WaitCondition::watched() const {
  if (kind_ == Kind::runner_descriptor) return descriptor_;
  return std::nullopt;
}

}  // namespace vornos::kernel
