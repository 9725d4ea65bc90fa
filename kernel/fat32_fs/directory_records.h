// The records a read of a directory descriptor answers, made from the volume's entries.
#pragma once

#include <cstdint>
#include <vector>

#include "vfs/file_system.h"
#include "fat32/volume.h"

namespace vornos::kernel {

// Seconds since 1970-01-01 00:00 of the date and time a directory entry stores (the clock it was
// written with, local time, read as it stands); 0 for a date that is no date (day or month 0).
int32_t seconds_since_1970(uint16_t dos_date, uint16_t dos_time);

// The records of `entries` in their order, volume labels left out. `root_cluster` names the
// root, whose ".." entries store cluster 0.
std::vector<DirectoryRecord> directory_records(const std::vector<fat32::DirEntryInfo>& entries, uint32_t root_cluster);

}  // namespace vornos::kernel
