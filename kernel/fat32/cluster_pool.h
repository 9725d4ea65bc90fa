// Free clusters and FAT writes for the file layer: clusters are reserved in memory while new content is
// written into them, then linked by FAT writes to every copy, with FSInfo's free count and next-free hint
// kept as true as they were.
#pragma once

#include <cstdint>
#include <map>
#include <unordered_set>
#include <vector>

#include "fat32/volume.h"

namespace vornos::fat32 {

// New values of FAT entries, by cluster.
using FatChanges = std::map<uint32_t, uint32_t>;

class ClusterPool {
 public:
  explicit ClusterPool(Volume& volume) : volume_(volume) {}

  // Reserves `count` free clusters, appending them to `out`: the FAT is scanned from the next-free hint
  // onward, wrapping, only as far as it takes to find them. Nothing is written: a reserved cluster is
  // free on disk until a FAT write links it. kNoSpace when fewer are free (nothing reserved then), found
  // by a scan of the whole FAT, or at once while the pool's own count of free clusters says so;
  // kIoError when the FAT cannot be read.
  int32_t reserve(uint32_t count, std::vector<uint32_t>& out);
  // Gives back reserved clusters that were never linked.
  void release(const std::vector<uint32_t>& clusters);

  // Writes `changes` to every FAT copy (each affected run of sectors once per copy, read from the active
  // copy so the reserved top bits and FAT[1] stay as they are), updates the cache, the free count and
  // the reservations, and writes FSInfo (see FreeCount). On failure the FATs may hold part of the changes.
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

  // What the pool knows of the number of free clusters. The count FSInfo holds is taken as a hint when it
  // is plausible (no more than the volume has clusters) and kept exactly as true as it was: every FAT
  // write adds what it freed and subtracts what it took, and FSInfo is written with the result. Nobody
  // counts the FAT for it: the count of a large volume would read the whole table, and allocation does
  // not need it. Only a scan that looked at every entry (a reservation that found too few) knows the
  // true count; from then on the count is exact and refuses reservations by itself.
  enum class FreeCount : uint8_t {
    kUnknown,  // FSInfo is absent, said unknown or was implausible: it is written as unknown
    kHint,     // FSInfo's count, adjusted by this run's changes
    kExact,    // counted by a scan of the whole FAT, adjusted since
  };
  FreeCount free_count_kind() const { return free_kind_; }

 private:
  int32_t load();
  int32_t write_fsinfo();
  // Adds `delta` (+1 or -1) to a known free count; a count that would leave 0..cluster_count was wrong
  // before this run, and becomes unknown rather than wrong in another way.
  void adjust_free(int32_t delta);

  Volume& volume_;
  bool loaded_ = false;
  bool fsinfo_present_ = false;  // a sector with FSInfo's signatures, which writes keep up to date
  FreeCount free_kind_ = FreeCount::kUnknown;
  uint32_t free_ = 0;            // free in the FAT, reserved ones included; meaningless while kUnknown
  std::unordered_set<uint32_t> reserved_;  // few at a time: a bit per cluster would cost 8 MiB on 2 TiB
  uint32_t next_ = 2;            // where the next search starts
  bool damaged_ = false;
  uint64_t generation_ = 0;
};

}  // namespace vornos::fat32
