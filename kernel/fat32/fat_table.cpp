// Lazy, chunked cache of the FAT copies.
#include "fat32/fat_table.h"

#include <algorithm>
#include <span>

#include "fat32/le.h"

namespace vornos::fat32 {

FatTable::FatTable(const ImageFile& file, const Geometry& geometry)
    : file_(file), geometry_(geometry), entry_count_(geometry.cluster_count + 2) {
  chunks_.resize(geometry.fat_count);
  for (auto& copy : chunks_) copy.resize((entry_count_ + kEntriesPerChunk - 1) / kEntriesPerChunk);
}

bool FatTable::load_chunk(uint32_t copy, uint32_t chunk) {
  const uint32_t first = chunk * kEntriesPerChunk;
  const uint32_t count = std::min(kEntriesPerChunk, entry_count_ - first);
  // The entries are kept as the FAT stores them and decoded when looked up: a chunk costs one read into
  // memory nothing clears first, and nothing more.
  std::unique_ptr<uint32_t[]> entries(new uint32_t[count]);
  const std::span<uint8_t> bytes(reinterpret_cast<uint8_t*>(entries.get()), size_t{count} * 4);
  if (!file_.read_at(geometry_.fat_offset(copy) + uint64_t{first} * 4, bytes)) return false;
  chunks_[copy][chunk] = std::move(entries);
  return true;
}

void FatTable::remember(uint32_t copy, uint32_t cluster, uint32_t value) {
  if (cluster >= entry_count_ || copy >= chunks_.size()) return;
  const uint32_t chunk = cluster / kEntriesPerChunk;
  // A chunk not loaded yet is read from the FAT, which already holds the value.
  if (chunks_[copy][chunk]) {
    store_le32(reinterpret_cast<uint8_t*>(&chunks_[copy][chunk][cluster % kEntriesPerChunk]), value & kFatEntryMask);
  }
}

}  // namespace vornos::fat32
