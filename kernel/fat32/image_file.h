// The file that holds a volume image: whole reads and writes at offsets, and durability.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "disk/snapshot_overlay.h"

namespace vornos::fat32 {

// Counts of the calls that reached the file, for measurements.
struct IoStats {
  uint64_t reads = 0;
  uint64_t bytes_read = 0;
  uint64_t writes = 0;
  uint64_t syncs = 0;
  // Reads made since the page cache first could not serve one at once: those may wait for the storage.
  uint64_t uncached_reads = 0;
};

class ImageFile {
 public:
  ImageFile() = default;
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;
  ~ImageFile();

  // Opens a regular file or block device. A file that may not be written is opened read-only even when
  // writing was asked for (read_only() tells). On failure returns false and sets `error` to the reason.
  bool open(const std::string& path, bool read_only, std::string& error);

  bool read_only() const { return read_only_; }
  // Bytes that reads and writes reach: the whole file, or the range confine() left.
  uint64_t size() const { return size_; }
  // The device's logical sector size; 0 for a regular file, which does not say.
  uint32_t sector_size() const { return sector_size_; }

  // From now on offsets count from `start` of what is reachable now, and nothing before it or at
  // `start + length` and after is ever read or written: a volume in a partition stays in it. The range
  // must lie within size().
  void confine(uint64_t start, uint64_t length);
  // Where the reachable range starts in the file.
  uint64_t range_start() const { return range_start_; }

  // Turns the file into a snapshot: it is not written again, and writes go to a private copy-on-write
  // layer that reads see and that is thrown away with this object (see disk::SnapshotOverlay). The file
  // must have been opened read-only; call after confine(). Writes are then allowed (read_only() is false)
  // and sync() has nothing to make durable.
  void start_snapshot(size_t memory_budget = disk::SnapshotOverlay::kDefaultMemoryBudget,
                      std::string spill_directory = {});
  bool snapshot() const { return overlay_ != nullptr; }
  // The layer of a snapshot, null otherwise.
  const disk::SnapshotOverlay* snapshot_overlay() const { return overlay_.get(); }

  // Reads exactly out.size() bytes at `offset`; false on an I/O error or when the range passes the end.
  bool read_at(uint64_t offset, std::span<uint8_t> out) const;
  // Writes exactly data.size() bytes at `offset`; false on any error, and when the range passes the
  // file's end as it is now (another process may have cut it short): it never extends the file.
  bool write_at(uint64_t offset, std::span<const uint8_t> data);
  // Called with every write about to reach the file; lets tests record and replay them.
  using WriteHook = std::function<void(uint64_t offset, std::span<const uint8_t> data)>;
  void set_write_hook(WriteHook hook) { write_hook_ = std::move(hook); }
  // Called after every sync that reached the storage; with the write hook, tests see where the barriers
  // between writes fall.
  using SyncHook = std::function<void()>;
  void set_sync_hook(SyncHook hook) { sync_hook_ = std::move(hook); }
  // Makes every write so far durable. (Only the data: writes never change the file's size, so the
  // file's own metadata, its times, need not be flushed with it.)
  bool sync();

  const IoStats& stats() const { return stats_; }

  // Hints to the kernel's page cache, for a walk that jumps about the image: `random` turns the
  // file's read-ahead off (on again with false); will_need starts reading a range ahead of its use.
  // Both are only advice: where the kernel ignores them, reads work as before. will_need does nothing
  // until a read has had to wait for the storage: while the image is in the page cache every read is
  // served at once, and announcing it would only cost calls.
  void advise_random(bool random) const;
  void will_need(uint64_t offset, uint64_t length) const;
  // Whether a read has had to wait for the storage (see will_need), as far as the reads tried without
  // waiting tell.
  bool cache_cold() const { return cache_cold_; }

  // Told once, before a lock starts to wait, what the other run holding the file does: "writing to
  // it" (it holds the file exclusively) or "reading it".
  using WaitNotice = std::function<void(const char* holder)>;

  // An advisory lock on the file for as long as it lives: exclusive for a repair that may
  // write, shared for one that only reads (and for a snapshot, which never writes the file). Two
  // runs on one image then take turns instead of interleaving their dirty marks and sector writes.
  // Waits while another run holds it. Only programs that take the same lock wait for each other:
  // one that takes none is not held off.
  class Lock {
   public:
    Lock(const ImageFile& file, bool exclusive, const WaitNotice& on_wait = {});
    // Holds nothing: for a caller already covered by a lock held elsewhere in this process.
    Lock() : fd_(-1) {}
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    int fd_;
  };

 private:
  // Reads at an offset of the file itself, past the confined range's start.
  bool read_file(uint64_t file_offset, std::span<uint8_t> out) const;

  int fd_ = -1;
  bool read_only_ = true;
  uint64_t size_ = 0;
  uint64_t range_start_ = 0;
  uint32_t sector_size_ = 0;
  std::unique_ptr<disk::SnapshotOverlay> overlay_;
  mutable IoStats stats_;
  // Reads are first tried without waiting (RWF_NOWAIT; the first reads, then one in eight): one that
  // succeeds came from the page cache. After the first that cannot (or where the kernel refuses the
  // flag) reads wait as usual.
  mutable bool cache_cold_ = false;
  WriteHook write_hook_;
  SyncHook sync_hook_;
};

}  // namespace vornos::fat32
