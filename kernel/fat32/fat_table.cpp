// Lazy, chunked cache of the active FAT.
#include "fat32/fat_table.h"

#include <algorithm>

#include "fat32/le.h"

namespace vornos::fat32 {

FatTable::FatTable(const ImageFile& file, const Geometry& geometry)
    : file_(file), geometry_(geometry), entry_count_(geometry.cluster_count + 2) {
  chunks_.resize((entry_count_ + kEntriesPerChunk - 1) / kEntriesPerChunk);
}

bool FatTable::load_chunk(uint32_t chunk) {
  const uint32_t first = chunk * kEntriesPerChunk;
  const uint32_t count = std::min(kEntriesPerChunk, entry_count_ - first);
  std::vector<uint8_t> bytes(size_t{count} * 4);
  if (!file_.read_at(geometry_.fat_offset(geometry_.active_fat) + uint64_t{first} * 4, bytes)) return false;
  std::vector<uint32_t> entries(count);
  for (uint32_t i = 0; i < count; ++i) entries[i] = load_le32(&bytes[size_t{i} * 4]) & kFatEntryMask;
  chunks_[chunk] = std::move(entries);
  return true;
}

bool FatTable::entry(uint32_t cluster, uint32_t& value) {
  if (cluster >= entry_count_) return false;
  const uint32_t chunk = cluster / kEntriesPerChunk;
  if (chunks_[chunk].empty() && !load_chunk(chunk)) return false;
  value = chunks_[chunk][cluster % kEntriesPerChunk];
  return true;
}

void FatTable::remember(uint32_t cluster, uint32_t value) {
  if (cluster >= entry_count_) return;
  const uint32_t chunk = cluster / kEntriesPerChunk;
  // A chunk not loaded yet is read from the FAT, which already holds the value.
  if (!chunks_[chunk].empty()) chunks_[chunk][cluster % kEntriesPerChunk] = value & kFatEntryMask;
}

}  // namespace vornos::fat32
