// The directories a run of the file calls touches, each read once and indexed by name (see
// DirectoryIndex), and kept true by every change the run makes: the run holds the image for itself
// while it writes, so nothing else changes them meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_map>

#include "fat32/cluster_pool.h"
#include "fat32/directory_index.h"
#include "fat32/directory_table.h"
#include "fat32/volume.h"

namespace vornos::fat32 {

class DirectoryCache {
 public:
  // Directories kept at most (each up to 2 MiB and its index); past that the one used longest ago goes.
  static constexpr size_t kMaxDirectories = 16;

  DirectoryCache(Volume& volume, ClusterPool& pool) : volume_(volume), pool_(pool) {}

  // What Volume::lookup answers for `path`, from the indexes.
  int32_t lookup(std::string_view path, LookupResult& result);
  // Reads and indexes the directory whose chain starts at `first_cluster`, unless it is held already.
  int32_t load(uint32_t first_cluster);
  // The number of `entry` (found by lookup) in the directory starting at `first_cluster`, counting
  // 32-byte entries from its start.
  int32_t entry_index(uint32_t first_cluster, const DirEntryInfo& entry, uint32_t& index);
  // Makes an entry named `name` in that directory (long-name slots and a unique alias when the name
  // needs them) and writes it (see DirectoryTable::add); `index` is where its short entry went.
  int32_t add(uint32_t first_cluster, std::u16string_view name, ShortEntry entry, uint32_t& index);
  // Removes the entry whose short entry is at `index`, its long-name slots first.
  int32_t remove(uint32_t first_cluster, uint32_t index);
  // Keeps the directories true after a sector was written outside them (an entry's size, cluster or
  // dates); `written` false: the write failed, and the sector may hold either content.
  void sector_written(uint64_t sector, std::span<const uint8_t> bytes, bool written);
  // Drops the directory starting at `first_cluster` (removed), or every one.
  void forget(uint32_t first_cluster) { directories_.erase(first_cluster); }
  void clear() { directories_.clear(); }

  // True once a write failed and could not be undone (see DirectoryTable::damaged).
  bool damaged() const { return damaged_; }

 private:
  struct Directory {
    explicit Directory(Volume& volume, ClusterPool& pool) : table(volume, pool) {}
    DirectoryTable table;
    DirectoryIndex index;
    uint64_t last_use = 0;
  };
  int32_t open(uint32_t first_cluster, Directory*& directory);
  void evict_one();

  Volume& volume_;
  ClusterPool& pool_;
  std::unordered_map<uint32_t, std::unique_ptr<Directory>> directories_;  // by first cluster
  uint64_t uses_ = 0;
  bool damaged_ = false;
};

}  // namespace vornos::fat32
