// Changing a directory.
#include "fat32/directory_table.h"

#include <algorithm>
#include <utility>

#include "fat32/chain_walker.h"
#include "fat32/errors.h"
#include "fat32/names.h"

namespace vornos::fat32 {

int32_t DirectoryTable::load(uint32_t first_cluster) {
  if (int32_t rc = volume_.cluster_chain(first_cluster, clusters_); rc != kOk) return rc;
  if (clusters_.size() > max_directory_clusters(volume_.geometry())) {
    return volume_.report_inconsistency(directory_too_long(first_cluster));
  }
  const uint32_t cluster_bytes = volume_.geometry().cluster_bytes;
  bytes_.resize(clusters_.size() * cluster_bytes);
  // Read runs of consecutive clusters in one piece.
  for (size_t i = 0; i < clusters_.size();) {
    const size_t run = adjacent_run(clusters_, i, clusters_.size());
    std::span<uint8_t> out(&bytes_[i * cluster_bytes], run * cluster_bytes);
    if (!volume_.geometry().is_data_cluster(clusters_[i] + static_cast<uint32_t>(run) - 1)) {
      return volume_.report_inconsistency("cluster out of range");
    }
    if (int32_t rc = volume_.read_at(volume_.geometry().cluster_offset(clusters_[i]), out); rc != kOk) return rc;
    i += run;
  }
  recount();
  return kOk;
}

uint32_t DirectoryTable::cluster_of(uint32_t index) const {
  return clusters_[index / (volume_.geometry().cluster_bytes / kDirEntrySize)];
}

bool DirectoryTable::index_of(uint32_t cluster, uint32_t offset, uint32_t& index) const {
  const uint32_t per_cluster = volume_.geometry().cluster_bytes / kDirEntrySize;
  for (size_t position = 0; position < clusters_.size(); ++position) {
    if (clusters_[position] != cluster) continue;
    index = static_cast<uint32_t>(position * per_cluster + offset / kDirEntrySize);
    return true;
  }
  return false;
}

bool DirectoryTable::holds_sector(uint64_t sector, uint32_t& first_index) const {
  const Geometry& g = volume_.geometry();
  for (size_t position = 0; position < clusters_.size(); ++position) {
    const uint64_t first = volume_.sector_of(clusters_[position], 0);
    if (sector >= first && sector < first + g.sectors_per_cluster) {
      first_index = static_cast<uint32_t>(position * (g.cluster_bytes / kDirEntrySize) +
                                          (sector - first) * (g.bytes_per_sector / kDirEntrySize));
      return true;
    }
  }
  return false;
}

void DirectoryTable::recount() {
  end_ = entry_count();
  for (uint32_t i = 0; i < entry_count(); ++i) {
    if (bytes_[size_t{i} * kDirEntrySize] == kEndOfDirectoryMark) {
      end_ = i;
      break;
    }
  }
  first_free_ = 0;
  while (first_free_ < end_ && bytes_[size_t{first_free_} * kDirEntrySize] != kFreeEntryMark) ++first_free_;
  sector_room_.assign(entry_count() / (volume_.geometry().bytes_per_sector / kDirEntrySize), 0);
  if (entry_count() > 0) measure_room(0, entry_count() - 1);
}

void DirectoryTable::measure_room(uint32_t first, uint32_t last) {
  const uint32_t per_sector = volume_.geometry().bytes_per_sector / kDirEntrySize;
  for (uint32_t sector = first / per_sector; sector <= last / per_sector && sector < sector_room_.size(); ++sector) {
    uint32_t longest = 0;
    for (uint32_t i = sector * per_sector, run = 0; i < (sector + 1) * per_sector; ++i) {
      const bool free = i >= end_ || bytes_[size_t{i} * kDirEntrySize] == kFreeEntryMark;
      run = free ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    sector_room_[sector] = static_cast<uint8_t>(std::min<uint32_t>(longest, 255));
  }
}

uint32_t DirectoryTable::find_room_in_a_sector(uint32_t needed) const {
  const uint32_t per_sector = volume_.geometry().bytes_per_sector / kDirEntrySize;
  for (uint32_t sector = first_free_ / per_sector; sector < sector_room_.size(); ++sector) {
    if (sector_room_[sector] < needed) continue;
    for (uint32_t i = sector * per_sector, run = 0; i < (sector + 1) * per_sector; ++i) {
      const bool free = i >= end_ || bytes_[size_t{i} * kDirEntrySize] == kFreeEntryMark;
      run = free ? run + 1 : 0;
      if (run == needed) return i + 1 - needed;
    }
  }
  return entry_count();
}

std::vector<DirectorySlot> DirectoryTable::entries() const {
  std::vector<DirectorySlot> found;
  DirectorySlotReader reader(volume_.code_page());
  const uint32_t end = end_index();
  for (uint32_t i = 0; i < end; ++i) {
    DirectorySlot slot;
    if (reader.read(&bytes_[size_t{i} * kDirEntrySize], i, slot) == SlotKind::kShort) found.push_back(std::move(slot));
  }
  return found;
}

TakenShortNames DirectoryTable::taken_short_names() const {
  TakenShortNames taken;
  for (const DirectorySlot& slot : entries()) taken.insert(taken_key(slot.entry.name, volume_.code_page()));
  return taken;
}

int32_t DirectoryTable::write_entries(uint32_t first, uint32_t count) {
  const Geometry& g = volume_.geometry();
  const uint32_t per_cluster = g.cluster_bytes / kDirEntrySize;
  const uint32_t per_sector = g.bytes_per_sector / kDirEntrySize;
  uint32_t sector_start = first - first % per_sector;
  while (sector_start < first + count) {
    const uint32_t cluster = clusters_[sector_start / per_cluster];
    const uint32_t offset = (sector_start % per_cluster) * kDirEntrySize;
    std::span<const uint8_t> sector(&bytes_[size_t{sector_start} * kDirEntrySize], g.bytes_per_sector);
    if (int32_t rc = volume_.write_sector(volume_.sector_of(cluster, offset), sector); rc != kOk) return rc;
    sector_start += per_sector;
  }
  return kOk;
}

int32_t DirectoryTable::grow(uint32_t count) {
  const Geometry& g = volume_.geometry();
  if (entry_count() + uint64_t{count} * (g.cluster_bytes / kDirEntrySize) > kMaxDirectoryEntries) return kNoSpace;
  std::vector<uint32_t> fresh;
  if (int32_t rc = pool_.reserve(count, fresh); rc != kOk) return rc;
  // Zeroed on disk before they are linked: a directory never shows stale bytes as entries.
  const std::vector<uint8_t> zeros(g.cluster_bytes, 0);
  for (uint32_t cluster : fresh) {
    if (int32_t rc = volume_.write_at(g.cluster_offset(cluster), zeros); rc != kOk) {
      pool_.release(fresh);
      return rc;
    }
  }
  if (int32_t rc = pool_.link(clusters_.back(), fresh); rc != kOk) return rc;
  clusters_.insert(clusters_.end(), fresh.begin(), fresh.end());
  bytes_.resize(bytes_.size() + size_t{count} * g.cluster_bytes, 0);
  // Zeroed entries: past the end mark, or the new end mark when the directory was full to its last entry.
  sector_room_.resize(entry_count() / (g.bytes_per_sector / kDirEntrySize), 0);
  measure_room(entry_count() - count * (g.cluster_bytes / kDirEntrySize), entry_count() - 1);
  return kOk;
}

int32_t DirectoryTable::add(std::span<const uint8_t> records, uint32_t& index) {
  const uint32_t needed = static_cast<uint32_t>(records.size() / kDirEntrySize);
  const uint32_t end = end_index();
  // A run that fits one sector is kept within one, so that a single sector write makes the name whole
  // (slots written without their short entry would be orphans after a power cut).
  const uint32_t per_sector = volume_.geometry().bytes_per_sector / kDirEntrySize;
  const bool one_sector = needed <= per_sector;
  // Past the end-of-directory mark every entry is free, as readers see it.
  uint32_t run = 0;
  uint32_t start = 0;
  if (one_sector) {
    start = find_room_in_a_sector(needed);
    if (start < entry_count()) run = needed;
  }
  for (uint32_t i = first_free_; !one_sector && i < entry_count() && run < needed; ++i) {
    const bool free = i >= end || bytes_[size_t{i} * kDirEntrySize] == kFreeEntryMark;
    if (!free) {
      run = 0;
      continue;
    }
    if (run++ == 0) start = i;
  }
  if (run < needed) {
    if (run == 0 || one_sector) start = entry_count(), run = 0;
    const uint32_t per_cluster = volume_.geometry().cluster_bytes / kDirEntrySize;
    const uint32_t missing = needed - run;
    if (int32_t rc = grow((missing + per_cluster - 1) / per_cluster); rc != kOk) return rc;
  }
  // Entries skipped past the end-of-directory mark become free ones, so that readers go on past them.
  if (start > end) {
    std::vector<uint8_t> marks;
    for (uint32_t i = end; i < start; ++i) marks.push_back(std::exchange(bytes_[size_t{i} * kDirEntrySize], kFreeEntryMark));
    if (int32_t rc = write_entries(end, start - end); rc != kOk) {
      for (uint32_t i = end; i < start; ++i) bytes_[size_t{i} * kDirEntrySize] = marks[i - end];
      recount();
      return rc;
    }
  }
  // Taking the end-of-directory mark moves it behind the new entries; it is written first, so that
  // whatever stale bytes follow never show as entries.
  const uint32_t after = start + needed;
  if (after > end && after < entry_count() && bytes_[size_t{after} * kDirEntrySize] != kEndOfDirectoryMark) {
    bytes_[size_t{after} * kDirEntrySize] = kEndOfDirectoryMark;
    if (int32_t rc = write_entries(after, 1); rc != kOk) {
      recount();
      return rc;
    }
  }
  // What the entry will point at (its clusters, a grown directory, the marks above) must be on the disk
  // before the entry: a disk may persist the writes between two barriers in any order.
  if (int32_t rc = volume_.sync(); rc != kOk) return rc;
  const auto at = bytes_.begin() + static_cast<std::ptrdiff_t>(size_t{start} * kDirEntrySize);
  const std::vector<uint8_t> old(at, at + static_cast<std::ptrdiff_t>(records.size()));
  std::copy(records.begin(), records.end(), at);
  index = after - 1;
  if (int32_t rc = write_short_entry_last(start, index); rc != kOk) {
    // Slots written without their short entry would be orphans: put the run back as it was.
    std::copy(old.begin(), old.end(), at);
    if (write_entries(start, needed) != kOk) damaged_ = true;
    recount();
    return rc;
  }
  const uint32_t old_end = end_;
  if (after > end_) end_ = after;  // entries skipped before `start` became free ones, the mark follows
  while (first_free_ < end_ && bytes_[size_t{first_free_} * kDirEntrySize] != kFreeEntryMark) ++first_free_;
  measure_room(std::min(old_end, start), after);
  return kOk;
}

int32_t DirectoryTable::remove(uint32_t first, uint32_t last) {
  for (uint32_t i = first; i <= last; ++i) bytes_[size_t{i} * kDirEntrySize] = kFreeEntryMark;
  first_free_ = std::min(first_free_, first);
  measure_room(first, last);
  return write_short_entry_last(first, last);
}

// Long-name slots without their short entry are orphans that checkers complain about, while a short
// entry without its slots is a plain short-named entry: so the sectors of the slots go first, and when
// the short entry lies in a sector of its own, a barrier keeps a disk from persisting it alone.
int32_t DirectoryTable::write_short_entry_last(uint32_t first, uint32_t short_entry) {
  const uint32_t per_sector = volume_.geometry().bytes_per_sector / kDirEntrySize;
  const uint32_t last_sector_start = short_entry - short_entry % per_sector;
  if (last_sector_start > first) {
    if (int32_t rc = write_entries(first, last_sector_start - first); rc != kOk) return rc;
    if (int32_t rc = volume_.sync(); rc != kOk) return rc;
    first = last_sector_start;
  }
  return write_entries(first, short_entry - first + 1);
}

}  // namespace vornos::fat32
