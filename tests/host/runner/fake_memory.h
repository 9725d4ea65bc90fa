// A program memory for tests: chosen pages exist, each readable and possibly writable.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
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
      pages_[static_cast<uint32_t>(page)] = {std::vector<std::byte>(kPage), writable};
    }
  }
  // Stores bytes on mapped pages, bypassing write protection.
  void poke(uint32_t address, std::string_view bytes) { copy(address, std::as_bytes(std::span(bytes)), nullptr, true); }
  std::string peek(uint32_t address, size_t size) {
    std::string text(size, '\0');
    read_some(address, std::as_writable_bytes(std::span(text)));
    return text;
  }
  size_t read_some(uint32_t address, std::span<std::byte> to) override { return copy(address, {}, to.data(), false, to.size()); }
  size_t write_some(uint32_t address, std::span<const std::byte> from) override { return copy(address, from, nullptr, false); }

 private:
  struct Page {
    std::vector<std::byte> bytes;
    bool writable = true;
  };
  // Copies `from` into the pages, or the pages into `to` (`size` bytes), up to the first page
  // that is missing (or read-only when writing unforced) or the end of the 32-bit space.
  size_t copy(uint32_t address, std::span<const std::byte> from, std::byte* to, bool force, size_t size = 0) {
    if (to == nullptr) size = from.size();
    size_t done = 0;
    for (uint64_t at = address; done < size && at <= UINT32_MAX;) {
      const auto page = pages_.find(static_cast<uint32_t>(at / kPage));
      if (page == pages_.end() || (to == nullptr && !force && !page->second.writable)) break;
      const size_t n = std::min<uint64_t>(size - done, kPage - at % kPage);
      std::byte* const bytes = page->second.bytes.data() + at % kPage;
      to == nullptr ? std::memcpy(bytes, from.data() + done, n) : std::memcpy(to + done, bytes, n);
      done += n;
      at += n;
    }
    return done;
  }
  std::map<uint32_t, Page> pages_;
};

}  // namespace vornos::kernel::testing
