// A FAT32 volume in an image file: geometry, cluster chains over a cached FAT, directories with their
// long names, and path lookup. Nothing read from the image is trusted.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fat32/boot_sector.h"
#include "fat32/code_page.h"
#include "fat32/dir_entry.h"
#include "fat32/directory_bounds.h"
#include "fat32/directory_evidence.h"
#include "fat32/fat_table.h"
#include "fat32/image_file.h"
#include "fat32/volume_place.h"

namespace vornos::fat32 {

// One live entry of a directory (a file, a directory, or a label), with its names and its place on disk.
struct DirEntryInfo {
  ShortEntry entry{};
  std::u16string long_name;   // empty when the entry has none
  std::u16string short_name;  // "NAME.EXT", decoded in the volume's code page
  uint32_t cluster = 0;       // cluster that holds the short entry
  uint32_t offset = 0;        // byte offset of the short entry in that cluster

  const std::u16string& name() const { return long_name.empty() ? short_name : long_name; }
};

// What a path names.
struct LookupResult {
  bool is_root = false;
  bool is_directory = false;   // the root, or an entry with the directory bit and directory evidence
  DirEntryInfo info;           // unset for the root
  uint32_t parent_cluster = 0; // first cluster of the directory holding it (the root's for top level)
  std::string path;            // the path with names as stored, "." and ".." resolved, e.g. "/Photos/x.jpg"

  // First cluster of the directory, for a directory result.
  uint32_t directory_cluster(uint32_t root_cluster) const {
    return is_root ? root_cluster : info.entry.first_cluster();
  }
};

// How an image is attached.
struct VolumeOpenOptions {
  bool read_only = false;  // open the image O_RDONLY; every write is refused
  // Open the image read-only and keep every write in a private copy-on-write layer that reads see and
  // that is dropped with the volume (see ImageFile::start_snapshot); ignored when read_only.
  bool snapshot = false;
  size_t snapshot_memory = disk::SnapshotOverlay::kDefaultMemoryBudget;
  std::string snapshot_directory;  // where the layer spills; empty: $TMPDIR or /tmp
  // The partition to attach, numbered as fdisk and sgdisk number them; unset: the image's FAT32 volume,
  // or its only FAT32 partition (see locate_volume).
  std::optional<uint32_t> partition;
};

class Volume {
 public:
  // Opens IMAGE; read_only opens it O_RDONLY. Returns nullptr and sets `error` to a clear one-line message
  // ("not a FAT32 volume: ...", "cannot open IMAGE: ...") for anything unusable. Never trusts the image.
  // An image that cannot be opened for writing (permissions, a read-only file system) is opened
  // read-only: read_only() is then true and repairs answer kReadOnly.
  static std::unique_ptr<Volume> open(const std::string& image_path, bool read_only, std::string& error);
  // The same with every choice: a partition, a snapshot. Every read and write of the volume stays inside
  // the partition; the bytes around it are never written.
  static std::unique_ptr<Volume> open(const std::string& image_path, const VolumeOpenOptions& options,
                                      std::string& error);

  Volume(const Volume&) = delete;
  Volume& operator=(const Volume&) = delete;

  bool read_only() const { return file_.read_only(); }
  // Where in the image the volume lies.
  const VolumePlace& place() const { return place_; }
  // Whether writes go to a snapshot's private layer instead of the image.
  bool snapshot() const { return file_.snapshot(); }
  // Holds the image against other runs while it lives (see ImageFile::Lock). While the volume is held
  // for a whole run (hold_for_run), the run's lock covers the caller and this one holds nothing: a
  // second flock on the same file would convert or, when released, drop the run's lock.
  ImageFile::Lock lock_image(bool exclusive) const {
    if (run_lock_ && (run_lock_exclusive_ || !exclusive)) return ImageFile::Lock();
    return ImageFile::Lock(file_, exclusive, wait_notice_);
  }
  // Holds the image for a whole run (exclusively when `exclusive`) until release_run().
  void hold_for_run(bool exclusive) {
    run_lock_.reset();
    run_lock_.emplace(file_, exclusive, wait_notice_);
    run_lock_exclusive_ = exclusive;
  }
  // Called when taking the image's lock has to wait for another run (see ImageFile::WaitNotice).
  void set_wait_notice(ImageFile::WaitNotice notice) { wait_notice_ = std::move(notice); }
  void release_run() { run_lock_.reset(); }
  const Geometry& geometry() const { return geometry_; }
  // The code page short names are read and written in: kDefaultCodePage unless the run sets another.
  const CodePage& code_page() const { return *code_page_; }
  void set_code_page(const CodePage& page) { code_page_ = &page; }
  uint32_t root_cluster() const { return geometry_.root_cluster; }
  const IoStats& io_stats() const { return file_.stats(); }
  // What made the last call fail with kIoError, e.g. "cluster 9 is followed by free cluster 0".
  const std::string& problem() const { return problem_; }
  // Records an inconsistency found by a user of the volume; returns kIoError.
  int32_t report_inconsistency(std::string problem) { return fail(std::move(problem)); }

  // Reads cluster `cluster` whole into `out` (resized to one cluster).
  int32_t read_cluster(uint32_t cluster, std::vector<uint8_t>& out);
  // The cluster after `cluster` in its chain; sets `at_end` at the end of the chain. A free, bad or
  // out-of-range successor is kIoError, and so is a link the mirrored FAT copies disagree on, except,
  // while interrupted links are accepted, the one disagreement a power cut between the copies' writes
  // of one link leaves (see interrupted_link): the chain then ends at `cluster`, as it did before.
  int32_t next_cluster(uint32_t cluster, uint32_t& next, bool& at_end);
  // Whether next_cluster accepts interrupted links: the file layer does, the repair never does.
  void accept_interrupted_links(bool accept) { accept_interrupted_links_ = accept; }
  bool accepts_interrupted_links() const { return accept_interrupted_links_; }
  // Reads `cluster` and the clusters after it in its chain that lie right after it on disk, at most
  // `max_clusters` in all, with one read; `count` tells how many `out` holds from its start (a longer
  // buffer is kept as it is). The run is taken from the active FAT unchecked: callers still follow the
  // chain with next_cluster before they use a cluster.
  int32_t read_cluster_run(uint32_t cluster, uint32_t max_clusters, std::vector<uint8_t>& out, uint32_t& count);
  // Read hints for a walk (see ImageFile): read-ahead off while it lasts, and reads announced before
  // they are made: the FAT copies (their first 16 MiB each), or the chain from `first` as the active
  // FAT has it (unchecked, one hint per contiguous run, at most `max_clusters` clusters and 2 MiB of it).
  void advise_random(bool random) { file_.advise_random(random); }
  void announce_fats();
  void announce_chain(uint32_t first, uint32_t max_clusters = UINT32_MAX);
  // Whether announcing reads helps: a read has had to wait for the storage.
  bool cache_cold() const { return file_.cache_cold(); }
  // The whole chain from `first`; kIoError when it is broken or loops (a chain is never longer than the
  // volume has clusters).
  int32_t cluster_chain(uint32_t first, std::vector<uint32_t>& chain);

  // Lists the live short entries of the directory whose chain starts at `first_cluster`, with their long
  // names; stops at the end-of-directory mark. Long-name slots and free entries are not listed. With
  // `bounded`, a chain longer than a directory may be (see directory_bounds.h) is kIoError.
  int32_t list_directory(uint32_t first_cluster, std::vector<DirEntryInfo>& entries, bool bounded = false);
  // What the start cluster of `entry`, found in the directory starting at `parent_cluster`, says about it
  // being a directory (see directory_evidence); kNone for the root's and the parent's clusters. When it
  // reads that cluster, the bytes are left in `first_cluster_bytes`.
  int32_t probe_directory(const ShortEntry& entry, uint32_t parent_cluster, DirectoryEvidence& evidence,
                          std::vector<uint8_t>& first_cluster_bytes);
  // Whether `entry` holds a file's data: a non-zero size and a chain of exactly as many clusters as that
  // size needs. kIoError when the chain is broken or the FAT copies disagree on it.
  int32_t chain_fits_size(const ShortEntry& entry, bool& fits);
  // kIoError when the backup boot sector is unreadable or describes another layout than the boot sector.
  int32_t check_backup_boot_sector();

  // Resolves an absolute path (see split_path for its form). kNoEntry when a component is missing,
  // kNotDirectory when a component before the last is not a directory, kInvalid when malformed.
  // "." stays, ".." goes to the parent (the root's parent is the root); a trailing '/' asks for a
  // directory.
  int32_t lookup(std::string_view path, LookupResult& result);
  // The same, finding each component with `find_name`: kOk with the entry that `name` names in the
  // directory starting at `directory` (dot entries and labels are no names), kNoEntry, or an error.
  using NameFinder = std::function<int32_t(uint32_t directory, std::u16string_view name, DirEntryInfo& found)>;
  int32_t lookup(std::string_view path, LookupResult& result, const NameFinder& find_name);

  // Sector-level access for writers: `sector` counts from the start of the volume.
  uint64_t sector_of(uint32_t cluster, uint32_t offset_in_cluster) const {
    return geometry_.cluster_offset(cluster) / geometry_.bytes_per_sector + offset_in_cluster / geometry_.bytes_per_sector;
  }
  int32_t read_sector(uint64_t sector, std::vector<uint8_t>& out);
  // Writes one whole sector; kReadOnly on a read-only volume, kIoError on failure.
  int32_t write_sector(uint64_t sector, std::span<const uint8_t> bytes);
  // Makes every write so far durable: a barrier that orders the writes before it against those after it.
  // Costs nothing when nothing was written since the last one, so that callers may put one wherever
  // the order matters without asking whether one was just made.
  int32_t sync();
  void set_write_hook(ImageFile::WriteHook hook) { file_.set_write_hook(std::move(hook)); }
  void set_sync_hook(ImageFile::SyncHook hook) { file_.set_sync_hook(std::move(hook)); }

  // Byte-level access for the file layer: `offset` counts from the start of the image. kIoError when the
  // range cannot be read or written, kReadOnly for a write on a read-only volume.
  int32_t read_at(uint64_t offset, std::span<uint8_t> out);
  int32_t write_at(uint64_t offset, std::span<const uint8_t> data);
  // The cached FAT, for writers that keep it in step with what they write.
  FatTable& fat_table() { return *fat_; }

  // For tests: the `nth` write from now on (1 = the next, counting write_sector and write_at calls) fails
  // as an I/O error would; with `persistent`, every later write fails too. 0 turns failing off.
  void inject_write_fault(uint64_t nth, bool persistent) {
    writes_until_fault_ = nth;
    fault_persists_ = persistent;
  }

 private:
  Volume() = default;
  int32_t fail(std::string problem);
  bool interrupted_link(uint32_t value, uint32_t other);
  bool write_through(uint64_t offset, std::span<const uint8_t> data);
  static std::string write_error();

  ImageFile file_;
  VolumePlace place_;
  Geometry geometry_;
  const CodePage* code_page_ = &kDefaultCodePage;
  std::unique_ptr<FatTable> fat_;
  std::string problem_;
  std::optional<ImageFile::Lock> run_lock_;
  bool run_lock_exclusive_ = false;
  ImageFile::WaitNotice wait_notice_;
  bool accept_interrupted_links_ = false;
  uint64_t writes_synced_ = 0;       // the image's write count at the last sync that succeeded
  uint64_t writes_until_fault_ = 0;  // 0: no fault armed
  bool fault_persists_ = false;
};

}  // namespace vornos::fat32
