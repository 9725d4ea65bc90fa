// A program memory for tests: chosen pages exist, each readable and possibly writable.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <span>
#include <string_view>
#include <vector>

#include "process/guest_memory.h"

namespace vornos::kernel::testing {

class FakeMemory final : public GuestMemory {
 public:
  static constexpr uint32_t kPage = 4096;

  // Maps the pages covering [address, address + size), zero-filled.
  void map(uint32_t address, uint32_t size, bool writable = true) {
    for (uint64_t page = address / kPage; page * kPage < uint64_t{address} + size; ++page) {
      pages_[static_cast<uint32_t>(page)] = Page{std::vector<std::byte>(kPage), writable};
    }
  }
  // Stores bytes directly (mapping is the caller's job), bypassing write protection.
  void poke(uint32_t address, std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) byte_at(address + static_cast<uint32_t>(i)) = static_cast<std::byte>(bytes[i]);
  }
  std::string peek(uint32_t address, size_t size) {
    std::string text;
    for (size_t i = 0; i < size; ++i) text += static_cast<char>(byte_at(address + static_cast<uint32_t>(i)));
    return text;
  }

  size_t read_some(uint32_t address, std::span<std::byte> destination) override {
    size_t done = 0;
    for (uint64_t at = address; done < destination.size() && at <= UINT32_MAX; ++at, ++done) {
      const auto page = pages_.find(static_cast<uint32_t>(at / kPage));
      if (page == pages_.end()) break;
      destination[done] = page->second.bytes[at % kPage];
    }
    return done;
  }
  size_t write_some(uint32_t address, std::span<const std::byte> source) override {
    size_t done = 0;
    for (uint64_t at = address; done < source.size() && at <= UINT32_MAX; ++at, ++done) {
      const auto page = pages_.find(static_cast<uint32_t>(at / kPage));
      if (page == pages_.end() || !page->second.writable) break;
      page->second.bytes[at % kPage] = source[done];
    }
    return done;
  }

 private:
  struct Page {
    std::vector<std::byte> bytes;
    bool writable = true;
  };
  std::byte& byte_at(uint32_t address) { return pages_.at(address / kPage).bytes[address % kPage]; }
  std::map<uint32_t, Page> pages_;
};

}  // namespace vornos::kernel::testing
