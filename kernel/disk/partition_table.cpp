// Which table a disk has, and the checks every table's partitions pass.
#include "disk/partition_table.h"

#include <algorithm>
#include <array>

#include "disk/le.h"

namespace vornos::disk {
namespace {

constexpr size_t kMbrEntries = 446;
constexpr size_t kMbrEntrySize = 16;
constexpr size_t kSignature = 510;

bool has_signature(std::span<const uint8_t> sector) {
  return sector.size() >= 512 && sector[kSignature] == 0x55 && sector[kSignature + 1] == 0xAA;
}

// A FAT, NTFS or exFAT boot sector starts with a jump over its parameter block and names a power-of-two
// sector size at byte 11; an MBR starts with code that does neither.
bool looks_like_boot_sector(std::span<const uint8_t> sector) {
  const bool jump = (sector[0] == 0xEB && sector[2] == 0x90) || sector[0] == 0xE9;
  const uint16_t bytes_per_sector = load_le16(sector.data() + 11);
  const bool sector_size = bytes_per_sector >= 512 && bytes_per_sector <= 4096 &&
                           (bytes_per_sector & (bytes_per_sector - 1)) == 0;
  return jump && sector_size;
}

std::string sector_range(const Partition& partition) {
  return "sectors " + std::to_string(partition.first_sector) + "-" +
         std::to_string(partition.first_sector + partition.sector_count - 1);
}

}  // namespace

const char* table_name(TableKind kind) {
  switch (kind) {
    case TableKind::kMbr: return "MBR";
    case TableKind::kGpt: return "GPT";
    case TableKind::kNone: break;
  }
  return "no partition table";
}

bool looks_like_mbr(std::span<const uint8_t> sector0) {
  if (!has_signature(sector0)) return false;
  bool any_entry = false;
  for (size_t entry = 0; entry < 4; ++entry) {
    const uint8_t boot_flag = sector0[kMbrEntries + entry * kMbrEntrySize];
    if (boot_flag != 0x00 && boot_flag != 0x80) return false;
    any_entry |= sector0[kMbrEntries + entry * kMbrEntrySize + 4] != 0;
  }
  // Some boot loaders' MBRs start with a jump too; a boot sector with zeros where the entries would be
  // (a FAT16 volume, say) is a file system, not an empty table.
  return any_entry || !looks_like_boot_sector(sector0);
}

bool has_protective_entry(std::span<const uint8_t> sector0) {
  for (size_t entry = 0; entry < 4; ++entry) {
    if (sector0[kMbrEntries + entry * kMbrEntrySize + 4] == 0xEE) return true;
  }
  return false;
}

bool check_partition_bounds(const PartitionTable& table, uint64_t disk_size, std::string& problem) {
  for (const Partition& partition : table.partitions) {
    const std::string name = "partition " + std::to_string(partition.number);
    if (partition.first_sector == 0) {
      problem = name + " starts at sector 0, over the partition table";
      return false;
    }
    if (partition.offset > disk_size || partition.length > disk_size - partition.offset) {
      problem = name + " (" + sector_range(partition) + ") ends past the end of the disk (" +
                std::to_string(disk_size / table.sector_size) + " sectors of " + std::to_string(table.sector_size) +
                " bytes)";
      return false;
    }
  }
  std::vector<const Partition*> by_start;
  for (const Partition& partition : table.partitions) by_start.push_back(&partition);
  std::sort(by_start.begin(), by_start.end(), [](const Partition* a, const Partition* b) { return a->offset < b->offset; });
  for (size_t i = 1; i < by_start.size(); ++i) {
    if (by_start[i]->offset < by_start[i - 1]->end()) {
      const Partition& a = *by_start[i - 1];
      const Partition& b = *by_start[i];
      problem = "partitions " + std::to_string(std::min(a.number, b.number)) + " and " +
                std::to_string(std::max(a.number, b.number)) + " overlap (" + sector_range(a) + " and " +
                sector_range(b).substr(8) + ")";
      return false;
    }
  }
  return true;
}

bool read_partition_table(const DiskReader& read, uint64_t disk_size, uint32_t sector_size, PartitionTable& table,
                          std::string& problem) {
  table = PartitionTable{};
  std::array<uint8_t, 512> sector0{};
  if (disk_size < sector0.size() || !read(0, sector0)) return true;  // too small to hold a table
  if (!looks_like_mbr(sector0)) return true;
  if (has_protective_entry(sector0)) return read_gpt(read, disk_size, sector_size, table, problem);
  // An MBR's sectors are 512 bytes unless the device says otherwise.
  table.sector_size = sector_size == 0 ? 512 : sector_size;
  return read_mbr(read, disk_size, sector0, table, problem) && check_partition_bounds(table, disk_size, problem);
}

}  // namespace vornos::disk
