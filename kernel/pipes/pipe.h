// Pipes: a 64 KiB buffer between a read end and a write end, both open-file descriptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "vfs/descriptors.h"

namespace vornos::kernel {

// The buffer and how many ends of each kind are open. A fifo keeps one for its name.
class Pipe {
 public:
  static constexpr size_t kCapacity = 64 * 1024;

  size_t buffered() const { return size_; }
  int readers = 0;
  int writers = 0;
  // Counts every write end ever opened, so a fifo opened for reading can tell that a writer
  // came, even one that has gone again since.
  uint64_t writer_opens = 0;
  uint64_t reader_opens = 0;

  // Moves up to destination.size() bytes out, in order.
  size_t take(std::span<std::byte> destination);
  // Moves what fits of `source` in.
  size_t put(std::span<const std::byte> source);
  void clear() { head_ = size_ = 0; }

 private:
  std::vector<std::byte> ring_ = std::vector<std::byte>(kCapacity);
  size_t head_ = 0;
  size_t size_ = 0;
};

// One end of a pipe as a descriptor sees it. A read on an empty pipe waits while a writer
// exists and answers 0 when none does; a write waits for room, and answers -32 when no
// reader is left (no signal: the program learns it from the result).
class PipeEnd final : public OpenFile {
 public:
  enum class Side { read, write };
  PipeEnd(std::shared_ptr<Pipe> pipe, Side side);
  ~PipeEnd() override;
  PipeEnd(const PipeEnd&) = delete;
  PipeEnd& operator=(const PipeEnd&) = delete;

  // Answers kWouldWait where the caller must wait (the event loop serves the call again).
  int32_t read(std::span<std::byte> destination) override;
  int32_t write(std::span<const std::byte> source) override;
  bool writes_whole() const override { return true; }

  Side side() const { return side_; }
  const Pipe& pipe() const { return *pipe_; }

 private:
  std::shared_ptr<Pipe> pipe_;
  Side side_;
};

}  // namespace vornos::kernel
