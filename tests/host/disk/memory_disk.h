// Disks in memory for the table reader's tests: MBRs, chains of extended boot records and GPTs with true
// CRCs, written field by field so that each test can then break exactly one thing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/partition_table.h"
#include "disk/partition_types.h"

namespace vornos::disk::test {

struct GptEntry {
  Guid type;
  uint64_t first = 0, last = 0;
  std::u16string name;
};

class MemoryDisk {
 public:
  explicit MemoryDisk(uint64_t sectors, uint32_t sector_size = 512) : sector_size_(sector_size), bytes_(sectors * sector_size) {}

  uint64_t size() const { return bytes_.size(); }
  uint32_t sector_size() const { return sector_size_; }
  uint64_t sectors() const { return bytes_.size() / sector_size_; }
  std::vector<uint8_t>& bytes() { return bytes_; }
  DiskReader reader() const;

  // An MBR-style entry (also of an extended boot record at `record`): boot flag 0, the 0x55AA signature.
  void mbr_entry(uint64_t record, int index, uint8_t type, uint32_t first, uint32_t count);
  // A protective MBR, then a GPT with `entries` (128 slots of 128 bytes): the primary header at sector 1
  // and its array at 2, the backup array before the backup header at the last sector.
  void gpt(const std::vector<GptEntry>& entries);
  uint64_t backup_header_sector() const { return sectors() - 1; }
  // Sets the header CRC of the header at `sector` to what its bytes say (after a test changed them).
  void reseal_gpt_header(uint64_t sector);

  void put_le32(uint64_t offset, uint32_t value);
  void put_le64(uint64_t offset, uint64_t value);

 private:
  uint32_t sector_size_;
  std::vector<uint8_t> bytes_;
};

// One partition as "N:first+count type [label]" (sectors), for comparing lists in tables of cases.
std::string summary(const PartitionTable& table);

}  // namespace vornos::disk::test
