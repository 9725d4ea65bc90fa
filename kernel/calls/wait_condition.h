// What a call that cannot complete yet waits for, so that the event loop need not know the call.
#pragma once

#include <poll.h>

#include <chrono>
#include <optional>

namespace vornos::kernel {

using Clock = std::chrono::steady_clock;

// A call that waits keeps its program stopped; the event loop serves the call again once
// the condition may be met. Another program's doing (data or room in a pipe, the other side
// of a fifo, a child's end) can only show after that program's next event, so those are
// tried again after every event; a time and the runner's own descriptors are watched.
class WaitCondition {
 public:
  enum class Kind { time, runner_descriptor, pipe, fifo_partner, child_end };

  static WaitCondition until(Clock::time_point when) { return WaitCondition(Kind::time, when, {}); }
  // One of the runner's own descriptors ready for `events` (POLLIN, POLLOUT).
  static WaitCondition runner_ready(int fd, short events) { return WaitCondition(Kind::runner_descriptor, {}, {fd, events, 0}); }
  static WaitCondition pipe() { return WaitCondition(Kind::pipe, {}, {}); }
  static WaitCondition fifo_partner() { return WaitCondition(Kind::fifo_partner, {}, {}); }
  static WaitCondition child_end() { return WaitCondition(Kind::child_end, {}, {}); }

  Kind kind() const { return kind_; }
  // Whether serving the call again at `now` may complete it.
  bool may_be_met(Clock::time_point now) const;
  // The time the loop's wait ends at for this condition, if it waits on one.
  std::optional<Clock::time_point> deadline() const;
  // The runner's descriptor the loop's wait watches for this condition, if any.
  std::optional<pollfd> watched() const;

 private:
  WaitCondition(Kind kind, Clock::time_point when, pollfd descriptor) : kind_(kind), when_(when), descriptor_(descriptor) {}

  Kind kind_;
  Clock::time_point when_;
  pollfd descriptor_;
};

// Whether the runner's descriptor `fd` is ready for `events` now, without waiting.
bool runner_descriptor_ready(int fd, short events);

}  // namespace vornos::kernel
