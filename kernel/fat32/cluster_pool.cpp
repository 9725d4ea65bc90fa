// Reserving clusters, writing FAT entries to every copy, keeping FSInfo as true as it was.
#include "fat32/cluster_pool.h"

#include "fat32/errors.h"
#include "fat32/fat_table.h"
#include "fat32/fsinfo.h"
#include "fat32/le.h"

namespace vornos::fat32 {

// FSInfo is read under the run's hold of the image, at the first allocation, never counted from the FAT
// (see FreeCount).
int32_t ClusterPool::load() {
  if (loaded_) return kOk;
  const Geometry& g = volume_.geometry();
  FsInfoHints hints;
  std::vector<uint8_t> sector;
  if (g.fsinfo_sector != 0 && volume_.read_sector(g.fsinfo_sector, sector) == kOk && is_fsinfo_sector(sector)) {
    fsinfo_present_ = true;
    hints = read_fsinfo_hints(sector);
  }
  if (hints.free_clusters <= g.cluster_count) {
    free_kind_ = FreeCount::kHint;
    free_ = hints.free_clusters;
  }
  next_ = g.is_data_cluster(hints.next_free) ? hints.next_free : 2;
  loaded_ = true;
  return kOk;
}

void ClusterPool::adjust_free(int32_t delta) {
  if (free_kind_ == FreeCount::kUnknown) return;
  const uint64_t adjusted = uint64_t{free_} + static_cast<uint64_t>(int64_t{delta});
  if (adjusted > volume_.geometry().cluster_count) {  // below 0 wraps above it too
    free_kind_ = FreeCount::kUnknown;
    return;
  }
  free_ = static_cast<uint32_t>(adjusted);
}

int32_t ClusterPool::reserve(uint32_t count, std::vector<uint32_t>& out) {
  if (int32_t rc = load(); rc != kOk) return rc;
  if (count == 0) return kOk;
  if (free_kind_ == FreeCount::kExact && uint64_t{count} + reserved_.size() > free_) return kNoSpace;
  const Geometry& g = volume_.geometry();
  FatTable& fat = volume_.fat_table();
  const size_t first = out.size();
  auto give_back = [&] {
    release(std::vector<uint32_t>(out.begin() + static_cast<std::ptrdiff_t>(first), out.end()));
    out.resize(first);
  };
  uint32_t cluster = next_;
  uint32_t free_seen = 0;  // free entries, reserved ones included
  uint32_t looked = 0;
  for (; out.size() - first < count && looked < g.cluster_count; ++looked) {
    uint32_t value = 0;
    if (!fat.entry(cluster, value)) {
      give_back();
      return volume_.report_inconsistency("cannot read the FAT entry of cluster " + std::to_string(cluster));
    }
    if (value == 0) {
      ++free_seen;
      if (reserved_.insert(cluster).second) out.push_back(cluster);
    }
    cluster = cluster == g.max_cluster() ? 2 : cluster + 1;
  }
  if (out.size() - first < count) {
    // Every entry was looked at once: whatever FSInfo said, this is the count.
    give_back();
    free_ = free_seen;
    free_kind_ = FreeCount::kExact;
    return kNoSpace;
  }
  next_ = cluster;
  return kOk;
}

void ClusterPool::release(const std::vector<uint32_t>& clusters) {
  for (uint32_t c : clusters) reserved_.erase(c);
}

void ClusterPool::chain(const std::vector<uint32_t>& clusters, FatChanges& changes) {
  for (size_t i = 0; i < clusters.size(); ++i) {
    changes[clusters[i]] = i + 1 < clusters.size() ? clusters[i + 1] : kFatEntryMask;
  }
}

int32_t ClusterPool::write(const FatChanges& changes) {
  if (changes.empty()) return kOk;
  if (int32_t rc = load(); rc != kOk) return rc;
  ++generation_;
  const Geometry& g = volume_.geometry();
  const uint32_t sector_bytes = g.bytes_per_sector;
  const uint32_t per_sector = sector_bytes / 4;
  FatTable& fat = volume_.fat_table();

  // Runs of consecutive FAT sectors that hold changed entries, each read and written as one piece.
  auto it = changes.begin();
  std::vector<uint8_t> bytes;
  while (it != changes.end()) {
    const uint32_t first_sector = it->first / per_sector;
    uint32_t last_sector = first_sector;
    auto end = it;
    while (end != changes.end() && end->first / per_sector <= last_sector + 1) {
      last_sector = end->first / per_sector;
      ++end;
    }
    bytes.resize(size_t{last_sector - first_sector + 1} * sector_bytes);
    const uint64_t run_offset = uint64_t{first_sector} * sector_bytes;
    if (int32_t rc = volume_.read_at(g.fat_offset(g.active_fat) + run_offset, bytes); rc != kOk) return rc;
    for (auto change = it; change != end; ++change) {
      uint8_t* p = &bytes[(size_t{change->first} - size_t{first_sector} * per_sector) * 4];
      store_le32(p, (load_le32(p) & ~kFatEntryMask) | (change->second & kFatEntryMask));
    }
    std::vector<uint32_t> old_values;
    for (auto change = it; change != end; ++change) {
      uint32_t old = 0;
      if (!fat.entry(change->first, old)) return volume_.report_inconsistency("cannot read the FAT");
      old_values.push_back(old);
    }
    for (uint32_t copy = 0; copy < g.fat_count; ++copy) {
      if (!g.fats_mirrored && copy != g.active_fat) continue;
      if (int32_t rc = volume_.write_at(g.fat_offset(copy) + run_offset, bytes); rc != kOk) return rc;
    }
    size_t n = 0;
    for (auto change = it; change != end; ++change) {
      const uint32_t old = old_values[n++];
      const uint32_t value = change->second & kFatEntryMask;
      if (old == 0 && value != 0) adjust_free(-1);
      if (old != 0 && value == 0) adjust_free(+1);
      for (uint32_t copy = 0; copy < g.fat_count; ++copy) {
        if (g.fats_mirrored || copy == g.active_fat) fat.remember(copy, change->first, value);
      }
      reserved_.erase(change->first);
    }
    it = end;
  }
  return write_fsinfo();
}

int32_t ClusterPool::link(uint32_t tail, const std::vector<uint32_t>& fresh) {
  if (fresh.empty()) return kOk;
  FatChanges entries;
  chain(fresh, entries);
  int32_t rc = write(entries);
  // The new entries must be on the disk before the link that leads into them: a disk may persist the
  // writes between two barriers in any order, and a link alone would run into clusters still free.
  if (rc == kOk && tail != 0) rc = volume_.sync();
  if (rc == kOk && tail != 0) {
    rc = write({{tail, fresh.front()}});
    if (rc != kOk && write({{tail, kFatEntryMask}}) != kOk) damaged_ = true;
  }
  if (rc != kOk) {
    if (tail != 0) volume_.sync();  // the link taken back first, as for any chain that is freed
    FatChanges undo;
    for (uint32_t c : fresh) undo[c] = 0;
    if (write(undo) != kOk) damaged_ = true;
    release(fresh);
  }
  return rc;
}

int32_t ClusterPool::free(const std::vector<uint32_t>& clusters) {
  // Whatever stopped pointing at the chain (an entry, a link) must be on the disk before the chain is
  // freed, or a disk that reorders writes could keep the old pointer into free clusters.
  if (int32_t rc = volume_.sync(); rc != kOk) {
    damaged_ = true;
    return rc;
  }
  FatChanges changes;
  for (uint32_t c : clusters) changes[c] = 0;
  int32_t rc = write(changes);
  if (rc != kOk) rc = write(changes);
  if (rc != kOk) damaged_ = true;
  return rc;
}

int32_t ClusterPool::write_fsinfo() {
  if (!fsinfo_present_) return kOk;
  const Geometry& g = volume_.geometry();
  std::vector<uint8_t> sector;
  if (int32_t rc = volume_.read_sector(g.fsinfo_sector, sector); rc != kOk) return rc;
  if (!is_fsinfo_sector(sector)) return kOk;
  store_fsinfo_hints(sector, {free_kind_ == FreeCount::kUnknown ? kUnknownHint : free_, next_});
  return volume_.write_sector(g.fsinfo_sector, sector);
}

}  // namespace vornos::fat32
