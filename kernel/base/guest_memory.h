// Access to the program's memory: one small interface that turns a bad address into -14.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>

#include "vornos/abi/limits.h"

namespace vornos::kernel {

// The program's 32-bit address space as the kernel sees it. Implementations copy as much
// as they can, page by page, and say how much that was; the helpers below turn a short
// copy into the kernel's "bad address" answer.
class GuestMemory {
 public:
  virtual ~GuestMemory() = default;

  // Copies bytes from `address` on into `destination` until the first unreadable byte;
  // returns the number copied. Never copies past the end of the 32-bit space.
  virtual size_t read_some(uint32_t address, std::span<std::byte> destination) = 0;
  // Copies `source` to `address` on until the first unwritable byte; returns the number copied.
  virtual size_t write_some(uint32_t address, std::span<const std::byte> source) = 0;

  // Whole copies: 0, or -14 when any byte is out of reach (the copy may then be partial).
  int32_t read(uint32_t address, std::span<std::byte> destination);
  int32_t write(uint32_t address, std::span<const std::byte> source);

  // Reads a NUL-terminated string of at most `limit` bytes before its NUL into `text`:
  // 0, -14 when a byte before the NUL is out of reach, -36 when no NUL comes within `limit`.
  int32_t read_string(uint32_t address, size_t limit, std::string& text);
};

// The longest path the kernel accepts from a program, NUL excluded.
inline constexpr size_t kPathLimit = abi::kLongestPath;

// The memory of a traced process, through process_vm_readv / process_vm_writev. Writes
// honour the page protections: a read-only page is as unwritable as an unmapped one.
class ProcessMemory final : public GuestMemory {
 public:
  explicit ProcessMemory(pid_t pid) : pid_(pid) {}
  size_t read_some(uint32_t address, std::span<std::byte> destination) override;
  size_t write_some(uint32_t address, std::span<const std::byte> source) override;

 private:
  pid_t pid_;
};

}  // namespace vornos::kernel
