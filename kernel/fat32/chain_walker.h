// Following cluster chains: link by link, each link checked and the walk bounded, and runs of
// clusters that lie one after another on disk, so that they are read or written with one call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "fat32/volume.h"

namespace vornos::fat32 {

// Walks one chain from its first cluster. Every link is checked as Volume::next_cluster checks it (a
// free, bad or out-of-range successor, FAT copies that disagree), and a chain that reaches more
// clusters than the volume has loops: the walk then fails instead of running for ever.
class ChainWalker {
 public:
  ChainWalker(Volume& volume, uint32_t first) : volume_(volume), first_(first), cluster_(first) {}

  uint32_t cluster() const { return cluster_; }
  // The clusters reached so far, the current one included.
  uint64_t count() const { return count_; }
  // Steps to the next cluster of the chain; `at_end` (and no step) at its end.
  int32_t advance(bool& at_end);

 private:
  Volume& volume_;
  uint32_t first_;
  uint32_t cluster_;
  uint64_t count_ = 1;
};

// How many of the clusters from chain[from] on lie one after another on disk, `max` at most (and at
// least 1 when from < chain.size()).
inline size_t adjacent_run(std::span<const uint32_t> chain, size_t from, size_t max) {
  size_t run = 1;
  while (run < max && from + run < chain.size() && chain[from + run] == chain[from] + run) ++run;
  return run;
}

}  // namespace vornos::fat32
