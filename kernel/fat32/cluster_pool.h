// Free clusters and FAT writes for the file layer: clusters are reserved in memory while new content is
// written into them, then linked by FAT writes to every copy, with FSInfo's free count and next-free hint
// kept true.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "fat32/volume.h"

namespace vornos::fat32 {

// New values of FAT entries, by cluster.
using FatChanges = std::map<uint32_t, uint32_t>;

class ClusterPool {
 public:
  explicit ClusterPool(Volume& volume) : volume_(volume) {}

  // Reserves `count` free clusters (taken from the next-free hint onward, wrapping), appending them to
  // `out`. Nothing is written: a reserved cluster is free on disk until a FAT write links it. kNoSpace
  // when fewer are free (nothing reserved then), kIoError when the FAT cannot be read.
  int32_t reserve(uint32_t count, std::vector<uint32_t>& out);
  // Gives back reserved clusters that were never linked.
  void release(const std::vector<uint32_t>& clusters);

  // Writes `changes` to every FAT copy (each affected run of sectors once per copy, read from the active
  // copy so the reserved top bits and FAT[1] stay as they are), updates the cache, the free count and
  // the reservations, and writes FSInfo. On failure the FATs may hold part of the changes.
  int32_t write(const FatChanges& changes);

  // Chain entries for `clusters` in order: each to the next, the last to the end-of-chain mark.
  static void chain(const std::vector<uint32_t>& clusters, FatChanges& changes);

  // Links reserved `fresh` clusters into a chain and, when `tail` is not 0, hangs it after `tail` (the
  // end of an existing chain): the new entries first, in every copy, a barrier (Volume::sync), the link
  // second, so no chain ever runs into clusters still marked free (see Volume::interrupted_link for a cut between the copies'
  // writes of the link). On failure the FATs are put back as they were (see damaged()), the
  // clusters are released, and the error is returned.
  int32_t link(uint32_t tail, const std::vector<uint32_t>& fresh);
  // Frees the clusters of a chain nothing points at any more, after a barrier that makes that so on the
  // disk (tried twice: a failure here no longer endangers data, but would leave the clusters lost). On
  // failure damaged() is set.
  int32_t free(const std::vector<uint32_t>& clusters);

  // True once a write failed and could not be undone: the FATs hold lost clusters or differ, and the
  // volume must stay marked for checking.
  bool damaged() const { return damaged_; }
  // Changes whenever a FAT entry changes, so that cached chains can be dropped.
  uint64_t generation() const { return generation_; }

 private:
  int32_t load();
  int32_t write_fsinfo();

  Volume& volume_;
  bool loaded_ = false;
  uint32_t free_ = 0;            // free in the FAT, reserved ones included
  std::vector<bool> reserved_;   // by cluster number
  uint32_t reserved_count_ = 0;
  uint32_t next_ = 2;            // where the next search starts
  bool damaged_ = false;
  uint64_t generation_ = 0;
};

}  // namespace vornos::fat32
