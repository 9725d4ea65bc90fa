// How large a directory may be, and how much of one is read at once. Every FAT driver assumes a
// directory holds at most 65,536 entries (2 MiB); a longer chain is damage, and the bound keeps a
// looping chain cheap to detect and a loaded directory small.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "fat32/boot_sector.h"
#include "fat32/dir_entry.h"

namespace vornos::fat32 {

inline constexpr uint32_t kMaxDirectoryEntries = 65536;
inline constexpr uint32_t kMaxDirectoryBytes = static_cast<uint32_t>(kMaxDirectoryEntries * kDirEntrySize);
static_assert(kMaxDirectoryBytes == 2u << 20);

// Clusters of one directory at most.
inline uint32_t max_directory_clusters(const Geometry& geometry) {
  return std::max<uint32_t>(1, kMaxDirectoryBytes / geometry.cluster_bytes);
}
// Why a directory starting at `first_cluster` whose chain passes max_directory_clusters is refused.
inline std::string directory_too_long(uint32_t first_cluster) {
  return "the directory at cluster " + std::to_string(first_cluster) + " is longer than " +
         std::to_string(kMaxDirectoryBytes >> 20) + " MiB";
}
// Clusters of one directory read together at most: 256 KiB, so that a deep walk stays small.
inline uint32_t max_run_clusters(const Geometry& geometry) {
  return std::max<uint32_t>(1, (256u << 10) / geometry.cluster_bytes);
}

}  // namespace vornos::fat32
