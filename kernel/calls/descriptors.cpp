// Host-backed devices for descriptors 0 and 1.
#include "calls/descriptors.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "calls/error_codes.h"

namespace vornos::kernel {
namespace {

// Waits until a non-blocking host descriptor is ready again instead of failing the call.
void wait_until_ready(int host_fd, short events) {
  pollfd entry{host_fd, events, 0};
  while (poll(&entry, 1, -1) < 0 && errno == EINTR) {
  }
}

}  // namespace

int32_t HostInput::read(std::span<std::byte> destination) {
  const size_t wanted = std::min<size_t>(destination.size(), INT32_MAX);
  for (;;) {
    const ssize_t got = ::read(host_fd_, destination.data(), wanted);
    if (got >= 0) return static_cast<int32_t>(got);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      wait_until_ready(host_fd_, POLLIN);
      continue;
    }
    return from_host_errno(errno);
  }
}

int32_t HostInput::write(std::span<const std::byte>) { return kBadDescriptor; }

int32_t HostOutput::read(std::span<std::byte>) { return kBadDescriptor; }

int32_t HostOutput::write(std::span<const std::byte> source) {
  const size_t wanted = std::min<size_t>(source.size(), INT32_MAX);
  size_t done = 0;
  while (done < wanted) {
    const ssize_t put = ::write(host_fd_, source.data() + done, wanted - done);
    if (put > 0) {
      done += static_cast<size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      wait_until_ready(host_fd_, POLLOUT);
      continue;
    }
    // The bytes already taken stay counted; the error is the answer only when none were.
    if (done > 0) break;
    if (put < 0 && errno == EPIPE) throw OutputPipeClosed{};
    return put < 0 ? from_host_errno(errno) : 0;
  }
  return static_cast<int32_t>(done);
}

Device* DescriptorTable::find(int32_t fd) const {
  switch (fd) {
    case 0: return &input_;
    case 1: return &output_;
    default: return nullptr;
  }
}

}  // namespace vornos::kernel
