// Validation of the FAT32 boot sector.
#include "fat32/boot_sector.h"

#include <bit>

#include "fat32/le.h"

namespace vornos::fat32 {

bool parse_boot_sector(std::span<const uint8_t> sector, Geometry& g, std::string& problem) {
  namespace off = boot_offset;
  if (sector.size() < kBootSectorMinSize) {
    problem = "image is smaller than one sector";
    return false;
  }
  const uint8_t* b = sector.data();
  if (b[off::kSignature] != 0x55 || b[off::kSignature + 1] != 0xAA) {
    problem = "boot sector signature 0x55AA is missing";
    return false;
  }
  const uint32_t bytes_per_sector = load_le16(b + off::kBytesPerSector);
  if (bytes_per_sector != 512 && bytes_per_sector != 1024 && bytes_per_sector != 2048 &&
      bytes_per_sector != 4096) {
    problem = "bytes per sector is " + std::to_string(bytes_per_sector);
    return false;
  }
  const uint32_t sectors_per_cluster = b[off::kSectorsPerCluster];
  if (sectors_per_cluster == 0 || !std::has_single_bit(sectors_per_cluster)) {
    problem = "sectors per cluster is " + std::to_string(sectors_per_cluster);
    return false;
  }
  if (bytes_per_sector * sectors_per_cluster > kMaxClusterBytes) {
    problem = "clusters of " + std::to_string(bytes_per_sector * sectors_per_cluster) + " bytes are too large";
    return false;
  }
  // The FAT16 size field is 0 exactly on FAT32: the test Linux uses too.
  if (load_le16(b + off::kFatSize16) != 0 || load_le16(b + off::kRootEntries) != 0) {
    problem = "it is FAT12/FAT16 (16-bit FAT size or root entry count is set)";
    return false;
  }
  const uint32_t reserved = load_le16(b + off::kReservedSectors);
  const uint32_t fat_count = b[off::kFatCount];
  const uint32_t fat_sectors = load_le32(b + off::kFatSize32);
  const uint32_t total16 = load_le16(b + off::kTotalSectors16);
  const uint32_t total = total16 != 0 ? total16 : load_le32(b + off::kTotalSectors32);
  if (reserved == 0) {
    problem = "reserved sector count is 0";
    return false;
  }
  if (fat_count == 0 || fat_count > 16) {
    problem = "number of FATs is " + std::to_string(fat_count);
    return false;
  }
  if (fat_sectors == 0) {
    problem = "FAT size is 0";
    return false;
  }
  const uint64_t first_data = uint64_t{reserved} + uint64_t{fat_count} * fat_sectors;
  if (first_data >= total) {
    problem = "no room for data: " + std::to_string(total) + " sectors, data would start at sector " +
              std::to_string(first_data);
    return false;
  }
  const uint64_t clusters = (total - first_data) / sectors_per_cluster;
  if (clusters == 0 || clusters > kMaxClusterCount) {
    problem = "cluster count " + std::to_string(clusters) + " is out of range";
    return false;
  }
  if (uint64_t{fat_sectors} * bytes_per_sector / 4 < clusters + 2) {
    problem = "the FAT (" + std::to_string(fat_sectors) + " sectors) cannot hold " + std::to_string(clusters) +
              " clusters";
    return false;
  }
  const uint16_t ext_flags = load_le16(b + off::kExtFlags);
  const bool mirrored = (ext_flags & 0x80) == 0;
  const uint32_t active = mirrored ? 0 : (ext_flags & 0x0F);
  if (active >= fat_count) {
    problem = "active FAT " + std::to_string(active) + " does not exist";
    return false;
  }
  const uint32_t root = load_le32(b + off::kRootCluster);
  if (root < 2 || root > clusters + 1) {
    problem = "root directory cluster " + std::to_string(root) + " is out of range";
    return false;
  }
  uint32_t fsinfo = load_le16(b + off::kFsInfoSector);
  // 0 and 0xFFFF both mean "no FSInfo"; one inside the FATs would be nonsense, so ignore it.
  if (fsinfo == 0 || fsinfo >= reserved) fsinfo = 0;
  uint32_t backup = load_le16(b + off::kBackupBootSector);
  if (backup >= reserved) backup = 0;

  g.bytes_per_sector = bytes_per_sector;
  g.sectors_per_cluster = sectors_per_cluster;
  g.cluster_bytes = bytes_per_sector * sectors_per_cluster;
  g.reserved_sectors = reserved;
  g.fat_count = fat_count;
  g.fat_sectors = fat_sectors;
  g.active_fat = active;
  g.fats_mirrored = mirrored;
  g.total_sectors = total;
  g.first_data_sector = static_cast<uint32_t>(first_data);
  g.cluster_count = static_cast<uint32_t>(clusters);
  g.root_cluster = root;
  g.fsinfo_sector = fsinfo;
  g.backup_boot_sector = backup;
  return true;
}

}  // namespace vornos::fat32
