// Host-backed devices for the standard descriptors, and the descriptor table.
#include "vfs/descriptors.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "base/error_codes.h"

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

int32_t OpenFile::seek(int32_t, uint32_t) { return kIllegalSeek; }

DescriptorTable::DescriptorTable(Device& input, Device& output, Device* error) {
  slots_[0] = std::make_shared<DeviceFile>(input);
  slots_[1] = std::make_shared<DeviceFile>(output);
  if (error != nullptr) slots_[2] = std::make_shared<DeviceFile>(*error);
}

OpenFile* DescriptorTable::find(int32_t fd) const {
  if (fd < 0 || fd >= kLimit) return nullptr;
  return slots_[static_cast<size_t>(fd)].get();
}

bool DescriptorTable::full() const {
  for (int32_t fd = kFirstOpened; fd < kLimit; ++fd) {
    if (!slots_[static_cast<size_t>(fd)]) return false;
  }
  return true;
}

int32_t DescriptorTable::add(std::shared_ptr<OpenFile> file, int32_t lowest) {
  for (int32_t fd = std::max(lowest, 0); fd < kLimit; ++fd) {
    if (!slots_[static_cast<size_t>(fd)]) {
      slots_[static_cast<size_t>(fd)] = std::move(file);
      return fd;
    }
  }
  return kTooManyOpenFiles;
}

std::shared_ptr<OpenFile> DescriptorTable::share(int32_t fd) const {
  if (fd < 0 || fd >= kLimit) return nullptr;
  return slots_[static_cast<size_t>(fd)];
}

void DescriptorTable::install(int32_t fd, std::shared_ptr<OpenFile> file) {
  if (fd >= 0 && fd < kLimit) slots_[static_cast<size_t>(fd)] = std::move(file);
}

int32_t DescriptorTable::close(int32_t fd) {
  if (find(fd) == nullptr) return kBadDescriptor;
  slots_[static_cast<size_t>(fd)].reset();
  return 0;
}

void DescriptorTable::close_all() {
  for (std::shared_ptr<OpenFile>& slot : slots_) slot.reset();
}

}  // namespace vornos::kernel
