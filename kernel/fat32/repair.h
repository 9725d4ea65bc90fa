// Kernel call 84: repair the attribute bytes of the directory entries below a path.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "fat32/volume.h"

namespace vornos::fat32 {

struct RepairRecord {
  std::string path;   // the entry's path, e.g. "/Photos/IMG_0001.JPG"; "/Photos/." for a dot entry
  uint8_t old_attr;
  uint8_t new_attr;
  const char* rules;  // "R1" .. "R5"
};

struct RepairOptions {
  bool dry_run = false;  // compute and report the repairs, write nothing
  // Called once per repaired entry, after the repairs are durable (or, on a dry run, after the walk); the
  // record's path is built for that call only.
  std::function<void(const RepairRecord&)> on_repair;
};

// The whole of kernel call 84: walks the directory named by `path` and every directory below it, repairs
// the damaged attribute bytes, and returns how many entries it repaired (>= 0), or a negative code:
// -2 path does not exist, -20 not a directory, -22 not absolute / malformed, -5 unreadable or inconsistent
// volume (bad boot sector or one its backup contradicts, cluster out of range, a loop, FAT copies that
// disagree, chains running into other directories or files, implausible entries), -30 volume read-only
// (and repairs are needed and not dry-run). Nothing is written unless the whole walk succeeds and
// something needs repair.
int32_t repair_dirents(Volume& volume, std::string_view path, const RepairOptions& options);

// One line for a repair log, e.g. "/Photos/x.jpg: attribute 0x18 -> 0x10 (R3)".
std::string format_repair_record(const RepairRecord& record);

}  // namespace vornos::fat32
