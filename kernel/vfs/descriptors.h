// The program's descriptors: open-file descriptions, the host devices behind the standard
// ones, and the per-process table that numbers them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
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
  // The runner's own descriptor behind the device, or -1: a read or write on it could hold
  // up every program of the run.
  virtual int runner_descriptor() const { return -1; }
};

// The runner's own standard input, read-only.
class HostInput final : public Device {
 public:
  explicit HostInput(int host_fd) : host_fd_(host_fd) {}
  int32_t read(std::span<std::byte> destination) override;
  int32_t write(std::span<const std::byte> source) override;
  int runner_descriptor() const override { return host_fd_; }

 private:
  int host_fd_;
};

// The runner's own standard output or error, write-only. A write hands the host everything
// it will take and answers with what it really took, so nothing the program is told was
// written is lost. Once the host pipe has no reader, a write throws OutputPipeClosed.
class HostOutput final : public Device {
 public:
  explicit HostOutput(int host_fd) : host_fd_(host_fd) {}
  int32_t read(std::span<std::byte> destination) override;
  int32_t write(std::span<const std::byte> source) override;
  int runner_descriptor() const override { return host_fd_; }

 private:
  int host_fd_;
};

// The runner's standard output (or error) is a pipe whose reader has gone (`vornos-run prog |
// head -1`): the program ends as a Unix process does, killed by SIGPIPE, without a message.
struct OutputPipeClosed {};

// An open-file description: what one open made. Every descriptor duplicated from it shares
// it, and with it the position.
class OpenFile {
 public:
  virtual ~OpenFile() = default;
  // Reads from the position on and moves it past what was read.
  virtual int32_t read(std::span<std::byte> destination) = 0;
  // Writes at the position and moves it past what was written.
  virtual int32_t write(std::span<const std::byte> source) = 0;
  // lseek: the new position, or a negative code (-29 for a device without positions).
  virtual int32_t seek(int32_t offset, uint32_t whence);
  // Files with a position answer it; reading then never consumes more than the caller
  // keeps, since a short copy to the program moves the position back. Devices answer -1.
  virtual int64_t position() const { return -1; }
  virtual void set_position(uint64_t) {}
  // The runner's own descriptor behind the file, or -1 (see Device).
  virtual int runner_descriptor() const { return -1; }
  // Whether a blocking write waits until all of it is taken (a pipe's: what fits goes in,
  // the rest waits for room), rather than answering what fitted.
  virtual bool writes_whole() const { return false; }

  // fd_set_nonblock: a read or write that would wait answers -11 instead.
  bool nonblocking = false;
};

// A host device as an open file: no position, the device decides what each call does.
class DeviceFile final : public OpenFile {
 public:
  explicit DeviceFile(Device& device) : device_(device) {}
  int32_t read(std::span<std::byte> destination) override { return device_.read(destination); }
  int32_t write(std::span<const std::byte> source) override { return device_.write(source); }
  int runner_descriptor() const override { return device_.runner_descriptor(); }

 private:
  Device& device_;
};

// One process's descriptors. A slot holds a reference to an open-file description, so
// a description lives as long as some descriptor (of any process) refers to it.
class DescriptorTable {
 public:
  // Descriptors are 0 to kLimit - 1: a process has at most this many open.
  static constexpr int32_t kLimit = 64;
  // The first descriptor open() hands out; the lower ones are the standard three.
  static constexpr int32_t kFirstOpened = 3;

  // Descriptor 0 reads `input`, 1 writes `output`, 2 writes `error` when it is given.
  DescriptorTable(Device& input, Device& output, Device* error = nullptr);
  // No descriptor open: a started program's table, filled from its parent's.
  DescriptorTable() = default;

  // The description `fd` refers to, or null when the descriptor is not open.
  OpenFile* find(int32_t fd) const;
  // Whether add() would answer -24.
  bool full() const;
  // Gives `file` the lowest free descriptor from `lowest` up; -24 when none is free.
  int32_t add(std::shared_ptr<OpenFile> file, int32_t lowest = kFirstOpened);
  // Another reference to the description `fd` refers to (null when it is not open).
  std::shared_ptr<OpenFile> share(int32_t fd) const;
  // Puts `file` at `fd` (0 to kLimit - 1), closing what was there.
  void install(int32_t fd, std::shared_ptr<OpenFile> file);
  // 0, or -9 when `fd` is not open.
  int32_t close(int32_t fd);
  // Closes every descriptor, as the end of the process does.
  void close_all();

 private:
  std::array<std::shared_ptr<OpenFile>, kLimit> slots_;
};

}  // namespace vornos::kernel
