// The walk over a directory tree that finds and applies attribute repairs in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "fat32/repair.h"
#include "fat32/sector_commit.h"
#include "fat32/volume.h"

namespace vornos::fat32 {

// Walks the tree below one directory depth first, reading each directory cluster once, and collects the
// repaired sectors and one record per repaired entry. It descends only into entries that are
// directories after repair, never into "." or "..", and never twice into the same cluster.
class RepairWalk {
 public:
  explicit RepairWalk(Volume& volume);
  ~RepairWalk();

  // Walks the directory `start` (a directory result of Volume::lookup). kIoError on a read error, a
  // broken chain, or a loop; then the results are incomplete and must not be written.
  int32_t run(const LookupResult& start);

  const SectorMap& changed_sectors() const { return changed_sectors_; }
  const std::vector<RepairRecord>& records() const { return records_; }

  // Deeper trees cannot be named by any path a program can pass; the limit bounds the memory held by
  // the walk (one cluster per level).
  static constexpr size_t kMaxDepth = 4096;

 private:
  struct Frame;
  int32_t enter(uint32_t first_cluster, bool is_root, std::u16string name,
                std::vector<uint8_t> first_cluster_bytes);
  // The path of directory `depth` of the stack, or of `leaf` inside it when `leaf` is not empty. Paths are
  // built only for records and messages, so the walk does no per-entry string work.
  std::string path_of(size_t depth, std::u16string_view leaf = {}) const;
  int32_t advance_cluster(Frame& frame, bool& at_end);
  // Handles the entry at the frame's position; may push a child frame (invalidating `frame`).
  int32_t visit_entry(size_t frame_index, bool& directory_ended);
  void retire_cluster(Frame& frame);
  void mark_changed(Frame& frame, uint32_t offset);

  Volume& volume_;
  std::vector<bool> visited_;  // directory clusters already walked, by cluster number
  std::vector<Frame> stack_;
  std::string start_path_;
  SectorMap changed_sectors_;
  std::vector<RepairRecord> records_;
};

}  // namespace vornos::fat32
