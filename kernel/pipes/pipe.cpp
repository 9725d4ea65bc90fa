// The pipe buffer and its two ends.
#include "pipes/pipe.h"

#include <algorithm>
#include <cstring>

#include "base/error_codes.h"
#include "base/blocking.h"

namespace vornos::kernel {

size_t Pipe::take(std::span<std::byte> destination) {
  const size_t count = std::min(destination.size(), size_);
  const size_t first = std::min(count, kCapacity - head_);
  std::memcpy(destination.data(), ring_.data() + head_, first);
  std::memcpy(destination.data() + first, ring_.data(), count - first);
  head_ = (head_ + count) % kCapacity;
  size_ -= count;
  if (size_ == 0) head_ = 0;
  return count;
}

size_t Pipe::put(std::span<const std::byte> source) {
  const size_t count = std::min(source.size(), kCapacity - size_);
  const size_t tail = (head_ + size_) % kCapacity;
  const size_t first = std::min(count, kCapacity - tail);
  std::memcpy(ring_.data() + tail, source.data(), first);
  std::memcpy(ring_.data(), source.data() + first, count - first);
  size_ += count;
  return count;
}

PipeEnd::PipeEnd(std::shared_ptr<Pipe> pipe, Side side) : pipe_(std::move(pipe)), side_(side) {
  if (side_ == Side::read) {
    ++pipe_->readers;
    ++pipe_->reader_opens;
  } else {
    ++pipe_->writers;
    ++pipe_->writer_opens;
  }
}

PipeEnd::~PipeEnd() {
  if (side_ == Side::read) {
    --pipe_->readers;
  } else {
    --pipe_->writers;
  }
  // A fifo's buffer outlives its ends; what nobody can read any more is dropped.
  if (pipe_->readers == 0) pipe_->clear();
}

int32_t PipeEnd::read(std::span<std::byte> destination) {
  if (side_ != Side::read) return kBadDescriptor;
  if (destination.empty()) return 0;
  if (pipe_->buffered() == 0) return pipe_->writers > 0 ? kWouldWait : 0;
  return static_cast<int32_t>(pipe_->take(destination));
}

int32_t PipeEnd::write(std::span<const std::byte> source) {
  if (side_ != Side::write) return kBadDescriptor;
  // Writing nothing succeeds, reader or not, as on Unix.
  if (source.empty()) return 0;
  if (pipe_->readers == 0) return kBrokenPipe;
  const size_t put = pipe_->put(source);
  return put > 0 ? static_cast<int32_t>(put) : kWouldWait;
}

}  // namespace vornos::kernel
