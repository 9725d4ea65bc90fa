// Lazy, chunked cache of the FAT copies.
#include "fat32/fat_table.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "fat32/le.h"

namespace vornos::fat32 {

FatTable::FatTable(const ImageFile& file, const Geometry& geometry, size_t max_chunks)
    : file_(file), geometry_(geometry), entry_count_(geometry.cluster_count + 2), max_chunks_(std::max<size_t>(max_chunks, 4)) {
  const size_t per_copy = (entry_count_ + kEntriesPerChunk - 1) / kEntriesPerChunk;
  chunks_.resize(geometry.fat_count);
  memory_.resize(geometry.fat_count);
  for (uint32_t copy = 0; copy < geometry.fat_count; ++copy) {
    chunks_[copy].resize(per_copy);
    memory_[copy].resize(per_copy);
  }
}

std::unique_ptr<uint32_t[]> FatTable::take_memory(uint32_t chunk) {
  while (held_ >= max_chunks_ && !read_order_.empty()) {
    const uint32_t oldest = read_order_.front();
    read_order_.pop_front();
    if (oldest == chunk) {  // the chunk being read stays, whatever its age
      read_order_.push_back(oldest);
      if (read_order_.size() == 1) break;
      continue;
    }
    drop(oldest);
  }
  if (spare_) return std::move(spare_);
  return std::unique_ptr<uint32_t[]>(new uint32_t[kEntriesPerChunk]);
}

void FatTable::hold(uint32_t copy, uint32_t chunk, std::unique_ptr<uint32_t[]> memory) {
  bool held_before = false;
  for (const auto& pieces : chunks_) held_before |= pieces[chunk] != nullptr;
  if (!held_before) read_order_.push_back(chunk);
  chunks_[copy][chunk] = memory.get();
  memory_[copy][chunk] = std::move(memory);
  ++held_;
}

void FatTable::drop(uint32_t chunk) {
  for (uint32_t copy = 0; copy < chunks_.size(); ++copy) {
    chunks_[copy][chunk] = nullptr;
    if (!memory_[copy][chunk]) continue;
    --held_;
    if (!spare_) spare_ = std::move(memory_[copy][chunk]);
    memory_[copy][chunk].reset();
  }
}

bool FatTable::load_chunk(uint32_t copy, uint32_t chunk) {
  const uint32_t first = chunk * kEntriesPerChunk;
  const uint32_t count = std::min(kEntriesPerChunk, entry_count_ - first);
  const uint32_t active = geometry_.active_fat;
  // Mirrored copies are nearly always the same: a copy's chunk is read into spare memory, compared with
  // the active copy's and kept only when it differs. Both the memory and the comparison of every entry
  // looked up are then spent only on copies that disagree.
  const bool may_share = geometry_.fats_mirrored && copy != active && active < chunks_.size();
  if (may_share && chunks_[active][chunk] == nullptr && !load_chunk(active, chunk)) return false;
  // The entries are kept as the FAT stores them and decoded when looked up: a chunk costs one read into
  // memory nothing clears first, and nothing more.
  std::unique_ptr<uint32_t[]> entries = take_memory(chunk);
  const std::span<uint8_t> bytes(reinterpret_cast<uint8_t*>(entries.get()), size_t{count} * 4);
  if (!file_.read_at(geometry_.fat_offset(copy) + uint64_t{first} * 4, bytes)) {
    spare_ = std::move(entries);
    return false;
  }
  if (may_share && std::memcmp(bytes.data(), chunks_[active][chunk], bytes.size()) == 0) {
    chunks_[copy][chunk] = chunks_[active][chunk];
    spare_ = std::move(entries);
    return true;
  }
  hold(copy, chunk, std::move(entries));
  return true;
}

void FatTable::stop_sharing(uint32_t chunk) {
  const uint32_t* active = chunks_[geometry_.active_fat][chunk];
  for (uint32_t copy = 0; copy < chunks_.size(); ++copy) {
    if (copy == geometry_.active_fat || chunks_[copy][chunk] != active) continue;
    std::unique_ptr<uint32_t[]> memory = take_memory(chunk);
    std::memcpy(memory.get(), active, kChunkBytes);
    hold(copy, chunk, std::move(memory));
  }
}

void FatTable::remember(uint32_t copy, uint32_t cluster, uint32_t value) {
  if (cluster >= entry_count_ || copy >= chunks_.size()) return;
  const uint32_t chunk = cluster / kEntriesPerChunk;
  // A chunk not loaded yet is read from the FAT, which already holds the value.
  if (chunks_[copy][chunk] == nullptr) return;
  // A chunk shared between copies changes in one copy only.
  if (chunks_[geometry_.active_fat][chunk] != nullptr) stop_sharing(chunk);
  store_le32(reinterpret_cast<uint8_t*>(&chunks_[copy][chunk][cluster % kEntriesPerChunk]), value & kFatEntryMask);
}

}  // namespace vornos::fat32
