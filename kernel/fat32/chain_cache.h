// The cluster chains of the files and directories a mount has followed, kept until the FAT changes,
// so that a file read or written in many pieces is not walked again from its start each time.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "fat32/cluster_pool.h"
#include "fat32/volume.h"

namespace vornos::fat32 {

class ChainCache {
 public:
  ChainCache(Volume& volume, const ClusterPool& pool) : volume_(volume), pool_(pool) {}

  // The chain from `first`, followed (and checked) once until the FAT changes.
  int32_t find(uint32_t first, const std::vector<uint32_t>*& chain);
  // A copy of the chain from `first`; empty for 0, the first cluster of an empty file.
  int32_t copy(uint32_t first, std::vector<uint32_t>& chain);
  // The chain from `first`, moved out of the cache (the caller owns it and may give it back).
  int32_t take(uint32_t first, std::vector<uint32_t>& chain);
  // Caches a chain the caller has just written.
  void remember(std::vector<uint32_t> chain);

 private:
  // Chains kept at most: past this the cache starts again empty.
  static constexpr size_t kMaxChains = 256;
  void drop_stale();

  Volume& volume_;
  const ClusterPool& pool_;
  std::unordered_map<uint32_t, std::vector<uint32_t>> chains_;
  uint64_t generation_ = 0;  // the pool's FAT generation the chains were followed in
};

}  // namespace vornos::fat32
