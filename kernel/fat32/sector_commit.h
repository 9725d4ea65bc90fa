// Writing a set of changed sectors so that a crash leaves the volume marked for checking.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "fat32/volume.h"

namespace vornos::fat32 {

// Whole sectors keyed by sector number.
using SectorMap = std::map<uint64_t, std::vector<uint8_t>>;

// Writes `sectors`, each whole, in this order: clear the clean-shutdown bit in FAT[1] of every FAT copy
// that has it set, sync, write the sectors, sync, set the bit again where it was set, sync. Nothing is
// written when `sectors` is empty. On an error the walk of writes stops (kIoError, or kReadOnly) and
// the volume stays marked dirty, so the next check knows it was interrupted; since whole sectors are
// written, each one holds either its old or its new bytes.
int32_t commit_sectors(Volume& volume, const SectorMap& sectors);

}  // namespace vornos::fat32
