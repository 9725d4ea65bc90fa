// The dirty-mark, write, clean-mark sequence.
#include "fat32/sector_commit.h"

#include "fat32/clean_mark.h"
#include "fat32/errors.h"

namespace vornos::fat32 {

int32_t commit_sectors(Volume& volume, const SectorMap& sectors) {
  if (sectors.empty()) return kOk;
  if (volume.read_only()) return kReadOnly;
  CleanMark mark(volume);
  if (int32_t rc = mark.clear(); rc != kOk) return rc;
  for (const auto& [sector, bytes] : sectors) {
    if (int32_t rc = volume.write_sector(sector, bytes); rc != kOk) return rc;
  }
  if (int32_t rc = volume.sync(); rc != kOk) return rc;
  if (int32_t rc = mark.set_again(); rc != kOk) return rc;
  return volume.sync();
}

}  // namespace vornos::fat32
