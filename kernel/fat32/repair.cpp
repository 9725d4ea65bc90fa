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
  LookupResult target;
  if (int32_t rc = volume.lookup(path, target); rc != kOk) return rc;
  if (!target.is_directory) return kNotDirectory;

  RepairWalk walk(volume);
  if (int32_t rc = walk.run(target); rc != kOk) return rc;
  const std::vector<RepairRecord>& records = walk.records();
  if (records.empty()) return 0;

  if (!options.dry_run) {
    if (volume.read_only()) return kReadOnly;
    if (int32_t rc = commit_sectors(volume, walk.changed_sectors()); rc != kOk) return rc;
  }
  if (options.on_repair) {
    for (const RepairRecord& record : records) options.on_repair(record);
  }
  constexpr size_t kMaxCount = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::min(records.size(), kMaxCount));
}

std::string format_repair_record(const RepairRecord& record) {
  char bytes[48];
  std::snprintf(bytes, sizeof bytes, ": attribute 0x%02X -> 0x%02X (%s)", record.old_attr, record.new_attr,
                record.rules != nullptr ? record.rules : "?");
  return record.path + bytes;
}

}  // namespace vornos::fat32
