// The MBR: four primary entries, and logical partitions in the chain of boot records of an extended one.
#include <array>
#include <optional>
#include <set>

#include "disk/le.h"
#include "disk/partition_table.h"
#include "disk/partition_types.h"

namespace vornos::disk {
namespace {

constexpr size_t kEntriesAt = 446;
constexpr size_t kEntrySize = 16;
// No disk has more logical partitions than this; a longer chain is a loop or garbage.
constexpr uint32_t kMaxLogicalPartitions = 256;

struct RawEntry {
  uint8_t type = 0;
  uint32_t first = 0;  // relative to the record's base
  uint32_t count = 0;
};

RawEntry entry_at(std::span<const uint8_t> sector, size_t index) {
  const uint8_t* e = sector.data() + kEntriesAt + index * kEntrySize;
  return {e[4], load_le32(e + 8), load_le32(e + 12)};
}

bool has_signature(std::span<const uint8_t> sector) { return sector[510] == 0x55 && sector[511] == 0xAA; }

Partition make_partition(uint32_t number, uint8_t type, uint64_t first, uint64_t count, uint32_t sector_size) {
  Partition partition;
  partition.number = number;
  partition.first_sector = first;
  partition.sector_count = count;
  partition.offset = first * sector_size;
  partition.length = count * sector_size;
  partition.type = mbr_type_name(type);
  partition.fat_type = is_fat_mbr_type(type);
  return partition;
}

// Follows the chain of extended boot records from the extended partition's first sector. Each record's
// first entry is a logical partition (relative to the record), its second the next record (relative to
// the extended partition). Every record and logical partition must lie inside the extended partition.
bool read_logical_partitions(const DiskReader& read, uint64_t extended_first,
                             uint64_t extended_count, PartitionTable& table, std::string& problem) {
  const uint32_t sector_size = table.sector_size;
  // The extended partition itself was checked against the disk with the primary ones.
  const uint64_t extended_end = extended_first + extended_count;
  std::set<uint64_t> visited;
  std::vector<uint8_t> record(sector_size);
  uint32_t number = 5;
  for (uint64_t at = extended_first;;) {
    if (!visited.insert(at).second || visited.size() > kMaxLogicalPartitions) {
      problem = "the chain of logical partitions loops (at sector " + std::to_string(at) + ")";
      return false;
    }
    if (!read(at * sector_size, record)) {
      problem = "cannot read the extended boot record at sector " + std::to_string(at);
      return false;
    }
    const RawEntry logical = entry_at(record, 0), next = entry_at(record, 1);
    if (!has_signature(record)) {
      // An extended partition whose first record is blank holds no logical partitions yet.
      if (at == extended_first && logical.type == 0 && next.type == 0) return true;
      problem = "the extended boot record at sector " + std::to_string(at) + " has no 0x55AA signature";
      return false;
    }
    if (logical.type != 0 && logical.count != 0) {
      const uint64_t first = at + uint64_t{logical.first};
      if (logical.first == 0 || first + logical.count > extended_end) {
        problem = "logical partition " + std::to_string(number) + " (sectors " + std::to_string(first) + "-" +
                  std::to_string(first + logical.count - 1) + ") lies outside its extended partition (sectors " +
                  std::to_string(extended_first) + "-" + std::to_string(extended_end - 1) + ")";
        return false;
      }
      table.partitions.push_back(make_partition(number++, logical.type, first, logical.count, sector_size));
    }
    if (next.type == 0 || next.count == 0) break;
    if (!is_extended_type(next.type)) {
      problem = "the extended boot record at sector " + std::to_string(at) + " links to a record of type " +
                mbr_type_name(next.type);
      return false;
    }
    at = extended_first + uint64_t{next.first};
    if (next.first == 0 || at >= extended_end) {
      problem = "the chain of logical partitions leaves its extended partition (next record at sector " +
                std::to_string(at) + ")";
      return false;
    }
  }
  // A logical partition that covers a later record of the chain would overwrite it.
  for (const Partition& partition : table.partitions) {
    if (partition.number < 5) continue;
    const auto inside = visited.lower_bound(partition.first_sector);
    if (inside != visited.end() && *inside < partition.first_sector + partition.sector_count) {
      problem = "logical partition " + std::to_string(partition.number) + " covers the extended boot record at sector " +
                std::to_string(*inside);
      return false;
    }
  }
  return true;
}

}  // namespace

bool read_mbr(const DiskReader& read, uint64_t disk_size, std::span<const uint8_t> sector0, PartitionTable& table,
              std::string& problem) {
  table.kind = TableKind::kMbr;
  std::optional<Partition> extended;
  for (uint32_t index = 0; index < 4; ++index) {
    const RawEntry entry = entry_at(sector0, index);
    if (entry.type == 0 || entry.count == 0) continue;
    if (is_extended_type(entry.type)) {
      if (extended) {
        problem = "the MBR has two extended partitions (" + std::to_string(extended->number) + " and " +
                  std::to_string(index + 1) + ")";
        return false;
      }
      extended = make_partition(index + 1, entry.type, entry.first, entry.count, table.sector_size);
      continue;
    }
    table.partitions.push_back(make_partition(index + 1, entry.type, entry.first, entry.count, table.sector_size));
  }
  if (!extended) return true;
  // The extended partition is checked against the primary ones like a partition, then left out of the list:
  // it holds logical partitions, not a file system.
  PartitionTable primaries = table;
  primaries.partitions.push_back(*extended);
  if (!check_partition_bounds(primaries, disk_size, problem)) return false;
  return read_logical_partitions(read, extended->first_sector, extended->sector_count, table, problem);
}

}  // namespace vornos::disk
