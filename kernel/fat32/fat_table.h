// The File Allocation Tables, each copy read lazily in chunks and kept in memory up to a cap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
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
  // The chunks of FAT kept in memory at most, all copies together: 32 MiB, an eighth of the largest
  // volume's table (2 TiB of 32 KiB clusters has 256 MiB in each copy), while a walk or a scan of any
  // volume still finds the chunks it comes back to.
  static constexpr size_t kDefaultMaxChunks = 1024;

  // `max_chunks` (at least 4) bounds the memory: past it the chunk read longest ago is dropped with all
  // its copies. The cache is written through (see remember), so a dropped chunk is only read again.
  FatTable(const ImageFile& file, const Geometry& geometry, size_t max_chunks = kDefaultMaxChunks);

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

  // 32 KiB of FAT per read: few reads on big volumes, little waste on small ones.
  static constexpr uint32_t kEntriesPerChunk = 8192;
  static constexpr size_t kChunkBytes = size_t{kEntriesPerChunk} * 4;
  // Chunks of memory held now (a copy's chunk that shares the active copy's memory is not counted).
  size_t chunks_held() const { return held_; }

 private:
  bool load_chunk(uint32_t copy, uint32_t chunk);
  // Gives every copy that shares the chunk with the active copy its own memory again.
  void stop_sharing(uint32_t chunk);
  // Memory for one chunk of `chunk`, after dropping the oldest other chunks while the cap is reached.
  std::unique_ptr<uint32_t[]> take_memory(uint32_t chunk);
  // Keeps `memory` as copy `copy`'s chunk `chunk`.
  void hold(uint32_t copy, uint32_t chunk, std::unique_ptr<uint32_t[]> memory);
  // Forgets every copy of `chunk`, keeping one piece of its memory for the next read.
  void drop(uint32_t chunk);

  const ImageFile& file_;
  const Geometry& geometry_;
  uint32_t entry_count_;  // cluster_count + 2
  size_t max_chunks_;
  // By copy, then chunk; the entries as the FAT stores them (little-endian), null until read. A mirrored
  // copy's chunk that is byte for byte the active copy's is not kept twice: it points at the active one.
  std::vector<std::vector<uint32_t*>> chunks_;
  std::vector<std::vector<std::unique_ptr<uint32_t[]>>> memory_;  // by copy, then chunk: what it owns
  size_t held_ = 0;                 // non-null entries of memory_
  std::deque<uint32_t> read_order_;  // chunks held in any copy, the one read longest ago first
  std::unique_ptr<uint32_t[]> spare_;  // a chunk's memory for the next read
};

}  // namespace vornos::fat32
