// A private copy-on-write layer over a disk that is never written: writes land in pages of their own (in
// memory, then in an unlinked temporary file once memory holds its budget), reads see them over the disk's
// bytes, and everything is gone when the layer is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace vornos::disk {

class SnapshotOverlay {
 public:
  static constexpr size_t kPageBytes = 4096;
  // A repair or a few file writes stay far below this; a program that writes more spills to the file.
  static constexpr size_t kDefaultMemoryBudget = 32u << 20;

  // Reads exactly out.size() bytes of the disk underneath at `offset`.
  using BaseReader = std::function<bool(uint64_t offset, std::span<uint8_t> out)>;

  // Covers a disk of `size` bytes. Pages past `memory_budget` bytes go to a temporary file made in
  // `spill_directory` (empty: $TMPDIR, else /tmp), unlinked as soon as it is made.
  explicit SnapshotOverlay(uint64_t size, size_t memory_budget = kDefaultMemoryBudget, std::string spill_directory = {});
  ~SnapshotOverlay();
  SnapshotOverlay(const SnapshotOverlay&) = delete;
  SnapshotOverlay& operator=(const SnapshotOverlay&) = delete;

  // The disk's bytes as written through this layer. False when the range passes the end or a read fails.
  bool read(uint64_t offset, std::span<uint8_t> out, const BaseReader& base) const;
  // Keeps `data` at `offset`; the rest of each page touched is copied from the disk first. False when the
  // range passes the end, the disk cannot be read or the temporary file cannot be written.
  bool write(uint64_t offset, std::span<const uint8_t> data, const BaseReader& base);

  uint64_t size() const { return size_; }
  bool written() const { return !pages_.empty(); }
  uint64_t pages_in_memory() const { return memory_pages_.size(); }
  uint64_t pages_spilled() const { return spilled_pages_; }
  // The temporary file's descriptor once pages have spilled, else -1 (for tests: it must be unlinked).
  int spill_descriptor() const { return spill_fd_; }

 private:
  struct Slot {
    bool in_memory = true;
    uint64_t index = 0;  // into memory_pages_, or the page's place in the temporary file
  };
  bool load_page(const Slot& slot, std::span<uint8_t> page) const;
  bool store_page(const Slot& slot, std::span<const uint8_t> page);
  bool open_spill_file();

  uint64_t size_;
  size_t memory_budget_;
  std::string spill_directory_;
  std::unordered_map<uint64_t, Slot> pages_;  // page number -> where its bytes are
  std::vector<std::unique_ptr<uint8_t[]>> memory_pages_;
  int spill_fd_ = -1;
  uint64_t spilled_pages_ = 0;
};

}  // namespace vornos::disk
