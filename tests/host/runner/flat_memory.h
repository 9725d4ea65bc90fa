// A program's memory for host tests of the calls: one block of bytes at a fixed address,
// nothing mapped around it.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/guest_memory.h"

namespace vornos::kernel::test {

class FlatMemory final : public GuestMemory {
 public:
  static constexpr uint32_t kBase = 0x10000;
  explicit FlatMemory(size_t size = 0x40000) : bytes_(size) {}

  size_t read_some(uint32_t address, std::span<std::byte> destination) override {
    const size_t count = reachable(address, destination.size());
    if (count > 0) std::memcpy(destination.data(), bytes_.data() + (address - kBase), count);
    return count;
  }
  size_t write_some(uint32_t address, std::span<const std::byte> source) override {
    const size_t count = reachable(address, source.size());
    if (count > 0) std::memcpy(bytes_.data() + (address - kBase), source.data(), count);
    return count;
  }

  // Puts `text` and a NUL at `offset` from the base; answers its address.
  uint32_t put(uint32_t offset, std::string_view text) {
    std::memcpy(bytes_.data() + offset, text.data(), text.size());
    bytes_[offset + text.size()] = std::byte{0};
    return kBase + offset;
  }
  std::string peek(uint32_t address, size_t size) const {
    return {reinterpret_cast<const char*>(bytes_.data()) + (address - kBase), size};
  }
  uint32_t end() const { return kBase + static_cast<uint32_t>(bytes_.size()); }

 private:
  size_t reachable(uint32_t address, size_t wanted) const {
    if (address < kBase || address >= end()) return 0;
    return std::min<size_t>(wanted, end() - address);
  }
  std::vector<std::byte> bytes_;
};

}  // namespace vornos::kernel::test
