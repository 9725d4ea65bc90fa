// The dirty-mark, write, clean-mark sequence.
#include "fat32/sector_commit.h"

#include "fat32/errors.h"
#include "fat32/fat_table.h"
#include "fat32/le.h"

namespace vornos::fat32 {

namespace {

constexpr size_t kFat1Offset = 4;  // FAT[1], the volume state, is the second 32-bit entry

struct StateSector {
  uint64_t sector;
  std::vector<uint8_t> clean_bytes;  // as read, clean bit set
};

int32_t write_all(Volume& volume, const SectorMap& sectors) {
  for (const auto& [sector, bytes] : sectors) {
    if (int32_t rc = volume.write_sector(sector, bytes); rc != kOk) return rc;
  }
  return kOk;
}

}  // namespace

int32_t commit_sectors(Volume& volume, const SectorMap& sectors) {
  if (sectors.empty()) return kOk;
  if (volume.read_only()) return kReadOnly;
  const Geometry& g = volume.geometry();

  std::vector<StateSector> clean_copies;
  for (uint32_t copy = 0; copy < g.fat_count; ++copy) {
    StateSector state{g.fat_offset(copy) / g.bytes_per_sector, {}};
    if (int32_t rc = volume.read_sector(state.sector, state.clean_bytes); rc != kOk) return rc;
    if (load_le32(&state.clean_bytes[kFat1Offset]) & kFatCleanShutdown) clean_copies.push_back(std::move(state));
  }

  SectorMap dirty_marks;
  for (const StateSector& state : clean_copies) {
    std::vector<uint8_t> dirty = state.clean_bytes;
    store_le32(&dirty[kFat1Offset], load_le32(&dirty[kFat1Offset]) & ~kFatCleanShutdown);
    dirty_marks.emplace(state.sector, std::move(dirty));
  }
  if (!dirty_marks.empty()) {
    if (int32_t rc = write_all(volume, dirty_marks); rc != kOk) return rc;
    if (int32_t rc = volume.sync(); rc != kOk) return rc;
  }

  if (int32_t rc = write_all(volume, sectors); rc != kOk) return rc;
  if (int32_t rc = volume.sync(); rc != kOk) return rc;

  if (!clean_copies.empty()) {
    for (const StateSector& state : clean_copies) {
      if (int32_t rc = volume.write_sector(state.sector, state.clean_bytes); rc != kOk) return rc;
    }
    if (int32_t rc = volume.sync(); rc != kOk) return rc;
  }
  return kOk;
}

}  // namespace vornos::fat32
