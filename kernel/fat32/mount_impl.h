// The mount's state and the helpers its calls share; private to the mount's files.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fat32/chain_cache.h"
#include "fat32/clean_mark.h"
#include "fat32/cluster_pool.h"
#include "fat32/directory_cache.h"
#include "fat32/directory_table.h"
#include "fat32/dos_time.h"
#include "fat32/mount.h"
#include "vornos/abi/limits.h"

namespace vornos::fat32 {

inline constexpr uint64_t kMaxFileSize = 0xFFFFFFFF;
inline constexpr uint32_t kMaxCount = abi::kLargestCount;  // a count must fit a non-negative result
// Staged content goes to disk in pieces of this size, so a long replacement holds little memory.
inline constexpr size_t kStagingFlushBytes = size_t{1} << 20;

inline uint32_t clusters_for(uint64_t bytes, uint32_t cluster_bytes) {
  return static_cast<uint32_t>((bytes + cluster_bytes - 1) / cluster_bytes);
}

// Where a short entry lives on disk, with the sector that holds it as read.
struct EntryPlace {
  uint64_t sector = 0;
  uint32_t offset = 0;  // in the sector
  std::vector<uint8_t> bytes;
  ShortEntry entry{};

  void store(const ShortEntry& e) { std::memcpy(&bytes[offset], &e, sizeof e); }
};

// A path split for making an entry: the directory it goes in and the new name.
struct NewName {
  LookupResult parent;
  std::u16string name;
};

// A whole-file replacement in progress.
struct Staging {
  std::string path;
  std::vector<uint32_t> clusters;  // reserved and written, not linked
  std::vector<uint8_t> pending;    // bytes not yet in a cluster
  uint64_t size = 0;
};

struct Mount::Impl {
  explicit Impl(Volume& v) : volume(v), pool(v), directories(v, pool), chains(v, pool), clean_mark(v) {}

  Volume& volume;
  ClusterPool pool;
  DirectoryCache directories;  // every path lookup and every change of a directory goes through it
  ChainCache chains;
  bool detached = false;

  // --- State and dirty mark (mount.cpp) ---
  CleanMark clean_mark;
  bool marked_dirty = false;
  bool mark_failed = false;  // the dirty mark could not be written: no write may follow
  bool damaged = false;      // a failed write that could not be undone

  // Clears the clean bit of FAT[1] in every copy that has it, once per run, before the first write.
  int32_t mark_dirty();
  bool failed_for_good() const { return damaged || pool.damaged() || directories.damaged(); }

  // --- Path resolution (mount_paths.cpp) ---

  // Checks every component of an absolute path: kInvalid for bad UTF-8, kNameTooLong past 255.
  int32_t check_path(std::string_view path);
  // Volume::lookup with the checks above, giving a Node.
  int32_t resolve(std::string_view path, Node& node, LookupResult* found = nullptr);
  // The parent directory and last name of a path that names nothing yet: kNoEntry / kNotDirectory for
  // the parent, kIsDirectory when the path ends in '/' but `for_directory` is false, name checks.
  int32_t split_new(std::string_view path, bool for_directory, NewName& out);

  // --- Directory operations (mount_directories.cpp) ---

  // Readies the parent of a new name for its entry: split_new's checks, a writable volume, the parent
  // loaded, the volume marked dirty; `parent_cluster` is the parent's first cluster.
  int32_t prepare_new_entry(std::string_view path, bool for_directory, NewName& target, uint32_t& parent_cluster);

  // --- The entry store (mount_entries.cpp) ---

  EntryPlace last_entry;  // the entry load_entry read last, valid while the image's
  NodeId last_entry_id;   // write count is still last_entry_writes
  uint64_t last_entry_writes = ~uint64_t{0};

  uint32_t entries_per_cluster() const { return volume.geometry().cluster_bytes / kDirEntrySize; }
  // The short entry at `id`; kNoEntry when it is not a live entry.
  int32_t load_entry(const NodeId& id, EntryPlace& place);
  int32_t store_entry(EntryPlace& place, const ShortEntry& entry);
  // Makes an entry named `name` in the directory starting at `directory` (long-name slots and alias when
  // needed); `index` is where it went.
  int32_t add_entry(uint32_t directory, std::u16string_view name, ShortEntry entry, uint32_t& index);
  // Removes the entry of `node` with its long-name slots (the short entry last), then frees `chain`.
  int32_t remove_entry(const Node& node, const std::vector<uint32_t>& chain);

  // --- File I/O (mount_files.cpp) ---

  // Reads or writes file bytes at `position` of a file whose chain is `chain`, in runs of adjacent
  // clusters.
  int32_t transfer(const std::vector<uint32_t>& chain, uint64_t position, uint8_t* read_into,
                   const uint8_t* write_from, size_t count);
  // Writes `data` at `offset` of a file of `size` bytes whose chain (new clusters included) is `chain`,
  // and zeros between its old end and `offset`.
  int32_t write_past(const std::vector<uint32_t>& chain, uint32_t size, uint64_t offset,
                     std::span<const uint8_t> data);

  // --- Replacement (mount_replace.cpp) ---

  std::map<int32_t, Staging> stagings;
  int32_t next_handle = 1;

  // What a replacement of `path` would replace: kOk with `exists` and `node` (or `target` for a new
  // file) set, or the refusal.
  int32_t check_replace_target(std::string_view path, bool& exists, Node& node, NewName& target);
  // Writes the staged bytes that fill whole clusters (all of them, the last padded with zeros, when
  // `last`) into newly reserved clusters.
  int32_t flush(Staging& staging, bool last);
  // Links the staged clusters and points the file's entry at them (see Mount::commit).
  int32_t commit(Staging& staging);
};

// A new short entry: the given attributes and first cluster, creation, write and access dates of `now`.
ShortEntry new_short_entry(uint8_t attributes, uint32_t first_cluster, uint32_t size, const DosTimestamp& now);
void set_first_cluster(ShortEntry& entry, uint32_t cluster);
// The write date and time of `now`, its access date, the archive bit.
void touch(ShortEntry& entry, const DosTimestamp& now);

}  // namespace vornos::fat32
