// The copy-on-write pages of a snapshot.
#include "disk/snapshot_overlay.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vornos::disk {
namespace {

bool pread_all(int fd, uint8_t* out, size_t length, uint64_t offset) {
  for (size_t done = 0; done < length;) {
    const ssize_t n = ::pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool pwrite_all(int fd, const uint8_t* data, size_t length, uint64_t offset) {
  for (size_t done = 0; done < length;) {
    const ssize_t n = ::pwrite(fd, data + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

SnapshotOverlay::SnapshotOverlay(uint64_t size, size_t memory_budget, std::string spill_directory)
    : size_(size), memory_budget_(memory_budget), spill_directory_(std::move(spill_directory)) {
  if (spill_directory_.empty()) {
    const char* tmpdir = std::getenv("TMPDIR");
    spill_directory_ = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
  }
}

SnapshotOverlay::~SnapshotOverlay() {
  if (spill_fd_ >= 0) ::close(spill_fd_);
}

// The file has no name from the start where the file system allows (O_TMPFILE), else loses it at once:
// nothing of a snapshot outlives the run, not even when the run is killed.
bool SnapshotOverlay::open_spill_file() {
  int fd = ::open(spill_directory_.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::string name = spill_directory_ + "/vornos-snapshot-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    ::unlink(name.c_str());
  }
  spill_fd_ = fd;
  return true;
}

bool SnapshotOverlay::load_page(const Slot& slot, std::span<uint8_t> page) const {
  if (slot.in_memory) {
    std::memcpy(page.data(), memory_pages_[slot.index].get(), kPageBytes);
    return true;
  }
  return pread_all(spill_fd_, page.data(), kPageBytes, slot.index * kPageBytes);
}

bool SnapshotOverlay::store_page(const Slot& slot, std::span<const uint8_t> page) {
  if (slot.in_memory) {
    std::memcpy(memory_pages_[slot.index].get(), page.data(), kPageBytes);
    return true;
  }
  return pwrite_all(spill_fd_, page.data(), kPageBytes, slot.index * kPageBytes);
}

bool SnapshotOverlay::read(uint64_t offset, std::span<uint8_t> out, const BaseReader& base) const {
  if (offset > size_ || out.size() > size_ - offset) return false;
  uint8_t page[kPageBytes];
  for (size_t done = 0; done < out.size();) {
    const uint64_t at = offset + done;
    const uint64_t number = at / kPageBytes;
    const size_t in_page = static_cast<size_t>(at % kPageBytes);
    const auto found = pages_.find(number);
    if (found != pages_.end()) {
      const size_t piece = std::min(out.size() - done, kPageBytes - in_page);
      if (!load_page(found->second, page)) return false;
      std::memcpy(out.data() + done, page + in_page, piece);
      done += piece;
      continue;
    }
    // The pages after this one that were not written either are read from the disk together.
    size_t piece = std::min(out.size() - done, kPageBytes - in_page);
    for (uint64_t next = number + 1; done + piece < out.size() && !pages_.contains(next); ++next) {
      piece += std::min(out.size() - done - piece, kPageBytes);
    }
    if (!base(at, out.subspan(done, piece))) return false;
    done += piece;
  }
  return true;
}

bool SnapshotOverlay::write(uint64_t offset, std::span<const uint8_t> data, const BaseReader& base) {
  if (offset > size_ || data.size() > size_ - offset) return false;
  uint8_t page[kPageBytes];
  for (size_t done = 0; done < data.size();) {
    const uint64_t at = offset + done;
    const uint64_t number = at / kPageBytes;
    const size_t in_page = static_cast<size_t>(at % kPageBytes);
    const size_t piece = std::min(data.size() - done, kPageBytes - in_page);
    auto found = pages_.find(number);
    if (found == pages_.end()) {
      // A new page starts as the disk's bytes (zeros past the disk's end, which no read reaches).
      std::memset(page, 0, kPageBytes);
      const uint64_t page_start = number * kPageBytes;
      const size_t on_disk = static_cast<size_t>(std::min<uint64_t>(kPageBytes, size_ - page_start));
      if (piece < kPageBytes && !base(page_start, std::span<uint8_t>(page, on_disk))) return false;
      Slot slot;
      if (uint64_t{memory_pages_.size() + 1} * kPageBytes <= memory_budget_) {
        slot.index = memory_pages_.size();
        memory_pages_.push_back(std::make_unique<uint8_t[]>(kPageBytes));
      } else {
        if (spill_fd_ < 0 && !open_spill_file()) return false;
        slot.in_memory = false;
        slot.index = spilled_pages_;
      }
      std::memcpy(page + in_page, data.data() + done, piece);
      if (!store_page(slot, page)) {
        if (slot.in_memory) memory_pages_.pop_back();
        return false;
      }
      if (!slot.in_memory) ++spilled_pages_;
      pages_.emplace(number, slot);
    } else {
      if (!load_page(found->second, page)) return false;
      std::memcpy(page + in_page, data.data() + done, piece);
      if (!store_page(found->second, page)) return false;
    }
    done += piece;
  }
  return true;
}

}  // namespace vornos::disk
