// The File Allocation Tables, each copy read lazily in chunks and kept in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "fat32/boot_sector.h"
#include "fat32/image_file.h"
#include "fat32/le.h"

namespace vornos::fat32 {

inline constexpr uint32_t kFatEntryMask = 0x0FFFFFFF;  // the top 4 bits of an entry are reserved
inline constexpr uint32_t kFatBadCluster = 0x0FFFFFF7;
inline constexpr uint32_t kFatEndOfChain = 0x0FFFFFF8;  // this and above end a chain
inline constexpr uint32_t kFatCleanShutdown = 0x08000000;  // in FAT[1]

class FatTable {
 public:
  FatTable(const ImageFile& file, const Geometry& geometry);

  // Looks up the 28-bit entry of `cluster` (0 .. max cluster) in the active FAT. False when the cluster
  // lies outside the table or the FAT cannot be read.
  bool entry(uint32_t cluster, uint32_t& value) { return entry_in_copy(geometry_.active_fat, cluster, value); }
  // The same in FAT copy `copy`.
  bool entry_in_copy(uint32_t copy, uint32_t cluster, uint32_t& value) {
    if (cluster >= entry_count_ || copy >= chunks_.size()) return false;
    const uint32_t chunk = cluster / kEntriesPerChunk;
    if (chunks_[copy][chunk] == nullptr && !load_chunk(copy, chunk)) return false;
    const uint32_t* stored = &chunks_[copy][chunk][cluster % kEntriesPerChunk];
    value = load_le32(reinterpret_cast<const uint8_t*>(stored)) & kFatEntryMask;
    return true;
  }
  // Whether every copy holds, as read so far, the very bytes of the active copy around `cluster`: then
  // its entry is the same in every copy without comparing them. False until every copy's part was read.
  bool copies_agree_at(uint32_t cluster) const {
    if (cluster >= entry_count_ || geometry_.active_fat >= chunks_.size()) return false;
    const uint32_t chunk = cluster / kEntriesPerChunk;
    const uint32_t* active = chunks_[geometry_.active_fat][chunk];
    for (const auto& copy : chunks_) {
      if (copy[chunk] != active) return false;
    }
    return active != nullptr;
  }
  // Records in the cache that `cluster`'s entry is now `value` in FAT copy `copy` (after the writer wrote
  // it there).
  void remember(uint32_t copy, uint32_t cluster, uint32_t value);

 private:
  // 32 KiB of FAT per read: few reads on big volumes, little waste on small ones.
  static constexpr uint32_t kEntriesPerChunk = 8192;
  bool load_chunk(uint32_t copy, uint32_t chunk);
  // Gives every copy that shares the chunk with the active copy its own memory again.
  void stop_sharing(uint32_t chunk);

  const ImageFile& file_;
  const Geometry& geometry_;
  uint32_t entry_count_;  // cluster_count + 2
  // By copy, then chunk; the entries as the FAT stores them (little-endian), null until read. A mirrored
  // copy's chunk that is byte for byte the active copy's is not kept twice: it points at the active one.
  std::vector<std::vector<uint32_t*>> chunks_;
  std::vector<std::unique_ptr<uint32_t[]>> memory_;  // what chunks_ points at
  std::unique_ptr<uint32_t[]> spare_;  // a chunk's memory for the next read of a copy that may be shared
};

}  // namespace vornos::fat32
