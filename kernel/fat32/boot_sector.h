// The boot sector of a FAT32 volume, checked and reduced to the geometry the layer works with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vornos::fat32 {

// Offsets of the boot sector fields this layer reads.
namespace boot_offset {
inline constexpr size_t kBytesPerSector = 11;
inline constexpr size_t kSectorsPerCluster = 13;
inline constexpr size_t kReservedSectors = 14;
inline constexpr size_t kFatCount = 16;
inline constexpr size_t kRootEntries = 17;
inline constexpr size_t kTotalSectors16 = 19;
inline constexpr size_t kFatSize16 = 22;
inline constexpr size_t kTotalSectors32 = 32;
inline constexpr size_t kFatSize32 = 36;
inline constexpr size_t kExtFlags = 40;
inline constexpr size_t kRootCluster = 44;
inline constexpr size_t kFsInfoSector = 48;
inline constexpr size_t kBackupBootSector = 50;
inline constexpr size_t kSignature = 510;
}  // namespace boot_offset

inline constexpr size_t kBootSectorMinSize = 512;
// Larger clusters exist only in theory; refusing them bounds every buffer this layer allocates.
inline constexpr uint32_t kMaxClusterBytes = 64 * 1024;
// Cluster numbers above this are reserved values in a 28-bit FAT entry.
inline constexpr uint32_t kMaxClusterCount = 0x0FFFFFF5;

struct Geometry {
  uint32_t bytes_per_sector = 0;
  uint32_t sectors_per_cluster = 0;
  uint32_t cluster_bytes = 0;
  uint32_t reserved_sectors = 0;
  uint32_t fat_count = 0;
  uint32_t fat_sectors = 0;       // size of one FAT copy
  uint32_t active_fat = 0;        // the copy that is read
  bool fats_mirrored = true;      // false when ext flags name one active FAT
  uint32_t total_sectors = 0;
  uint32_t first_data_sector = 0;
  uint32_t cluster_count = 0;     // valid clusters are 2 .. cluster_count + 1
  uint32_t root_cluster = 0;
  uint32_t fsinfo_sector = 0;     // 0 when there is none
  uint32_t backup_boot_sector = 0;  // 0 when there is none

  uint32_t max_cluster() const { return cluster_count + 1; }
  bool is_data_cluster(uint32_t cluster) const { return cluster >= 2 && cluster <= max_cluster(); }
  uint64_t cluster_offset(uint32_t cluster) const {
    return (uint64_t{first_data_sector} + uint64_t{cluster - 2} * sectors_per_cluster) * bytes_per_sector;
  }
  uint64_t fat_offset(uint32_t copy) const {
    return (uint64_t{reserved_sectors} + uint64_t{copy} * fat_sectors) * bytes_per_sector;
  }
  uint64_t size_bytes() const { return uint64_t{total_sectors} * bytes_per_sector; }
  // Whether two boot sectors describe the same layout: sizes, FATs and root.
  bool same_layout(const Geometry& other) const {
    return bytes_per_sector == other.bytes_per_sector && sectors_per_cluster == other.sectors_per_cluster &&
           reserved_sectors == other.reserved_sectors && fat_count == other.fat_count &&
           fat_sectors == other.fat_sectors && active_fat == other.active_fat &&
           fats_mirrored == other.fats_mirrored && total_sectors == other.total_sectors &&
           root_cluster == other.root_cluster;
  }
};

// Checks the boot sector (at least 512 bytes) and derives the geometry. On failure returns false and sets
// `problem` to what is wrong, e.g. "FAT size is 0". Nothing in the sector is trusted: every derived offset
// and count is bounds-checked here so the rest of the layer can rely on the geometry.
bool parse_boot_sector(std::span<const uint8_t> sector, Geometry& geometry, std::string& problem);

}  // namespace vornos::fat32
