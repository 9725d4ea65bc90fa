// The partition table in front of a disk image or device: an MBR (with logical partitions inside an
// extended one) or a GPT, read without trusting any of it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vornos::disk {

// Reads exactly out.size() bytes at byte `offset` of the disk; false when it cannot.
using DiskReader = std::function<bool(uint64_t offset, std::span<uint8_t> out)>;

enum class TableKind { kNone, kMbr, kGpt };

struct Partition {
  uint32_t number = 0;        // as fdisk (MBR: 1-4 primary, 5 on logical) and sgdisk (GPT: entry + 1) number it
  uint64_t first_sector = 0;  // in the table's sector size
  uint64_t sector_count = 0;
  uint64_t offset = 0;        // bytes from the start of the disk
  uint64_t length = 0;        // bytes
  std::string type;           // e.g. "FAT32 (LBA) 0x0c", "Microsoft basic data"
  std::string label;          // the GPT partition name (UTF-8); empty for MBR partitions
  bool fat_type = false;      // a type given to partitions that hold FAT32 file systems

  uint64_t end() const { return offset + length; }
};

struct PartitionTable {
  TableKind kind = TableKind::kNone;
  uint32_t sector_size = 512;
  std::vector<Partition> partitions;  // in number order; extended containers are not listed
  std::string note;                   // what was worked around, e.g. a damaged primary GPT whose backup was used
};

// "MBR", "GPT", "no partition table".
const char* table_name(TableKind kind);

// Reads the table of a disk of `disk_size` bytes. `sector_size` is the device's logical sector size, or 0
// when unknown (an image file): then 512, or 4096 when the GPT header is found only there.
//
// kind is kNone when sector 0 holds no table (no 0x55AA signature, a file system's boot sector, boot flags
// other than 0x00 and 0x80). A table that lies is refused: false with `problem` saying why: a partition
// past the end of the disk, over the table itself or outside the extended partition it belongs to,
// partitions that overlap, a chain of extended boot records that loops, a GPT whose header or entry array
// fails its checks (CRC, place, sizes) where the backup fails too.
bool read_partition_table(const DiskReader& read, uint64_t disk_size, uint32_t sector_size, PartitionTable& table,
                          std::string& problem);

// The table formats, for read_partition_table; each fills `table` (kind included) or says what is wrong.
bool read_mbr(const DiskReader& read, uint64_t disk_size, std::span<const uint8_t> sector0, PartitionTable& table,
              std::string& problem);
bool read_gpt(const DiskReader& read, uint64_t disk_size, uint32_t sector_size, PartitionTable& table,
              std::string& problem);

// Whether sector 0 is an MBR: the 0x55AA signature, boot flags 0x00 or 0x80, and entries, or no sign of a
// file system's boot sector (a jump instruction followed by a plausible bytes-per-sector field).
bool looks_like_mbr(std::span<const uint8_t> sector0);
// Whether an MBR's entries include a protective (0xEE) one: the disk is partitioned by a GPT.
bool has_protective_entry(std::span<const uint8_t> sector0);

// Refuses partitions past the end of the disk, over sector 0, or overlapping each other.
bool check_partition_bounds(const PartitionTable& table, uint64_t disk_size, std::string& problem);

}  // namespace vornos::disk
