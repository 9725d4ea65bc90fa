// Kernel call 84 on top of the repair walk and the sector commit.
#include "fat32/repair.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "fat32/errors.h"
#include "fat32/repair_walk.h"
#include "fat32/sector_commit.h"

namespace vornos::fat32 {

int32_t repair_dirents(Volume& volume, std::string_view path, const RepairOptions& options) {
  // From the lookup to the last write, no other run walks or repairs the same image.
  const ImageFile::Lock lock = volume.lock_image(!options.dry_run && !volume.read_only());
  // The repair trusts no disagreement of the FAT copies, not even one a power cut explains.
  struct StrictChains {
    Volume& volume;
    const bool accepted = volume.accepts_interrupted_links();
    ~StrictChains() { volume.accept_interrupted_links(accepted); }
  } strict{volume};
  volume.accept_interrupted_links(false);
  LookupResult target;
  if (int32_t rc = volume.lookup(path, target); rc != kOk) return rc;
  if (!target.is_directory) return kNotDirectory;

  // A layout the backup does not confirm may send the walk through a file's data.
  if (int32_t rc = volume.check_backup_boot_sector(); rc != kOk) return rc;

  RepairWalk walk(volume);
  if (int32_t rc = walk.run(target); rc != kOk) return rc;
  const std::vector<RepairWalk::Repair>& repairs = walk.repairs();
  if (repairs.empty()) return 0;

  if (!options.dry_run) {
    if (volume.read_only()) return kReadOnly;
    // The sectors to write are read again and patched: the walk keeps no cluster it has left.
    const uint32_t sector_bytes = volume.geometry().bytes_per_sector;
    SectorMap sectors;
    for (const RepairWalk::Repair& repair : repairs) {
      const uint64_t sector = repair.byte / sector_bytes;
      auto [it, added] = sectors.try_emplace(sector);
      if (added) {
        if (int32_t rc = volume.read_sector(sector, it->second); rc != kOk) return rc;
      }
      uint8_t& byte = it->second[repair.byte % sector_bytes];
      if (byte != repair.old_attr) return volume.report_inconsistency("an entry changed while it was walked");
      byte = repair.new_attr;
    }
    if (int32_t rc = commit_sectors(volume, sectors); rc != kOk) return rc;
  }
  if (options.on_repair) {
    for (const RepairWalk::Repair& repair : repairs) {
      options.on_repair({walk.path_of(repair), repair.old_attr, repair.new_attr, repair.rule});
    }
  }
  constexpr size_t kMaxCount = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::min(repairs.size(), kMaxCount));
}

std::string format_repair_record(const RepairRecord& record) {
  char bytes[48];
  std::snprintf(bytes, sizeof bytes, ": attribute 0x%02X -> 0x%02X (%s)", record.old_attr, record.new_attr,
                record.rules != nullptr ? record.rules : "?");
  return record.path + bytes;
}

}  // namespace vornos::fat32
