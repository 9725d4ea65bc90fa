// One directory loaded whole for changing it: listing its entries, placing new entries (growing the directory
// by zeroed clusters), marking entries free, and writing back only the sectors that changed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fat32/cluster_pool.h"
#include "fat32/directory_slots.h"
#include "fat32/new_names.h"
#include "fat32/volume.h"

namespace vornos::fat32 {

class DirectoryTable {
 public:
  DirectoryTable(Volume& volume, ClusterPool& pool) : volume_(volume), pool_(pool) {}

  // Reads the directory whose chain starts at `first_cluster`. kIoError for a chain longer than a
  // directory can be (see directory_bounds.h): it is damage, and would be read whole into memory.
  int32_t load(uint32_t first_cluster);
  uint32_t first_cluster() const { return clusters_.empty() ? 0 : clusters_.front(); }
  // The cluster that holds entry `index` (< entry_count()).
  uint32_t cluster_of(uint32_t index) const;
  // The number of the entry at byte `offset` of cluster `cluster`, when that is one of the directory's.
  bool index_of(uint32_t cluster, uint32_t offset, uint32_t& index) const;
  // Whether volume sector `sector` is one of the directory's; `first_index` is then its first entry.
  bool holds_sector(uint64_t sector, uint32_t& first_index) const;
  uint32_t entry_count() const { return static_cast<uint32_t>(bytes_.size() / kDirEntrySize); }

  // Live short entries up to the end-of-directory mark, long-name slots folded into them.
  std::vector<DirectorySlot> entries() const;
  TakenShortNames taken_short_names() const;

  // The 32 bytes of entry `index` (< entry_count()).
  uint8_t* raw(uint32_t index) { return &bytes_[size_t{index} * kDirEntrySize]; }
  // Writes the sectors that hold entries first..first+count-1, in ascending order.
  int32_t write_entries(uint32_t first, uint32_t count);

  // Places `records` (whole 32-byte entries, the short entry last) in the first run of free entries,
  // growing the directory by zeroed clusters when there is none, and writes them after a barrier (so
  // that whatever the entry points at is on the disk first); the short entry's sector is written last,
  // after another barrier when the slots lie in other sectors. `index` is where the short entry went.
  // kNoSpace when the volume or the directory is full.
  int32_t add(std::span<const uint8_t> records, uint32_t& index);
  // Marks the entries first..last (long-name slots, then the short entry at `last`) free and writes
  // them, the short entry last (as add does).
  int32_t remove(uint32_t first, uint32_t last);

  // True when a failed write could not be undone (see ClusterPool::damaged).
  bool damaged() const { return damaged_; }

 private:
  int32_t grow(uint32_t clusters);
  // Writes the sectors of entries first..short_entry, the one of the short entry last (see remove).
  int32_t write_short_entry_last(uint32_t first, uint32_t short_entry);
  uint32_t end_index() const { return end_; }  // of the end-of-directory mark, or entry_count()
  // Finds the end-of-directory mark, the first free entry and the room in every sector again, from the
  // bytes.
  void recount();
  // The longest run of free entries within each sector that holds entries first..last.
  void measure_room(uint32_t first, uint32_t last);
  // The first run of `needed` free entries that lies within one sector, or entry_count().
  uint32_t find_room_in_a_sector(uint32_t needed) const;

  Volume& volume_;
  ClusterPool& pool_;
  std::vector<uint32_t> clusters_;
  std::vector<uint8_t> bytes_;
  // Kept as entries come and go, so that a new entry in a directory without free entries costs no
  // pass over the directory: every entry before first_free_ is in use.
  uint32_t end_ = 0;
  uint32_t first_free_ = 0;
  // By sector of the directory: its longest run of free entries (an entry past the end mark is free).
  // A name fits in the first sector with room for it, found without a pass over the entries.
  std::vector<uint8_t> sector_room_;
  bool damaged_ = false;
};

}  // namespace vornos::fat32
