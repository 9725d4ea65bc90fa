// The program's descriptors and the host devices behind them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vornos::kernel {

// A device a descriptor refers to. Results are kernel results: a byte count, or a
// negative error code.
class Device {
 public:
  virtual ~Device() = default;
  // Reads at most destination.size() bytes; 0 at end of input.
  virtual int32_t read(std::span<std::byte> destination) = 0;
  // Writes what it can of `source` and says how much that was.
  virtual int32_t write(std::span<const std::byte> source) = 0;
};

// The runner's own standard input, read-only.
class HostInput final : public Device {
 public:
  explicit HostInput(int host_fd) : host_fd_(host_fd) {}
  int32_t read(std::span<std::byte> destination) override;
  int32_t write(std::span<const std::byte> source) override;

 private:
  int host_fd_;
};

// The runner's own standard output, write-only. A write hands the host everything it
// will take and answers with what it really took, so nothing the program is told was
// written is lost. Once the host pipe has no reader, a write throws OutputPipeClosed.
class HostOutput final : public Device {
 public:
  explicit HostOutput(int host_fd) : host_fd_(host_fd) {}
  int32_t read(std::span<std::byte> destination) override;
  int32_t write(std::span<const std::byte> source) override;

 private:
  int host_fd_;
};

// The runner's standard output is a pipe whose reader has gone (`vornos-run prog | head -1`):
// the program ends as a Unix process does, killed by SIGPIPE, without a message.
struct OutputPipeClosed {};

// Descriptors 0 (input) and 1 (output) are open from the start; descriptor 2 and all
// others are not.
class DescriptorTable {
 public:
  DescriptorTable(Device& input, Device& output) : input_(input), output_(output) {}
  // The device of `fd`, or null when the descriptor is not open.
  Device* find(int32_t fd) const;

 private:
  Device& input_;
  Device& output_;
};

}  // namespace vornos::kernel
