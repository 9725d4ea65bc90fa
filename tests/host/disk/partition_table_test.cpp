// The partition table reader on disks built in memory, field by field (GPTs with true CRCs), so that each
// case breaks exactly one thing: what it lists, and every kind of lie it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "disk/crc32.h"
#include "disk/le.h"
#include "disk/partition_table.h"
#include "disk/partition_types.h"

namespace vornos::disk {
namespace {

struct MbrEntry {
  uint64_t record;  // the sector of the MBR (0) or of an extended boot record
  int index;
  uint8_t type;
  uint32_t first, count;
};

struct GptEntry {
  Guid type;
  uint64_t first, last;
  std::u16string name;
};

class MemoryDisk {
 public:
  MemoryDisk(uint64_t sectors, uint32_t sector_size) : sector_size_(sector_size), bytes_(sectors * sector_size) {}

  std::vector<uint8_t>& bytes() { return bytes_; }
  DiskReader reader() const {
    return [this](uint64_t offset, std::span<uint8_t> out) {
      if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
      std::memcpy(out.data(), bytes_.data() + offset, out.size());
      return true;
    };
  }

  // An entry of the MBR or of an extended boot record, with boot flag 0 and the record's 0x55AA signature.
  void mbr_entry(const MbrEntry& e) {
    const uint64_t base = e.record * sector_size_;
    const uint64_t entry = base + 446 + 16 * e.index;
    bytes_[entry] = 0;
    bytes_[entry + 4] = e.type;
    put_le(entry + 8, e.first, 4);
    put_le(entry + 12, e.count, 4);
    bytes_[base + 510] = 0x55;
    bytes_[base + 511] = 0xAA;
  }

  // A protective MBR, then a GPT of 128 slots of 128 bytes: the primary header at sector 1 and its array at
  // 2, the backup array before the backup header at the last sector.
  void gpt(const std::vector<GptEntry>& entries) {
    constexpr uint32_t kCount = 128, kEntrySize = 128;
    const uint64_t array_sectors = uint64_t{kCount} * kEntrySize / sector_size_;
    const uint64_t last = bytes_.size() / sector_size_ - 1;
    mbr_entry({0, 0, 0xEE, 1, static_cast<uint32_t>(std::min<uint64_t>(last, 0xFFFFFFFF))});
    std::vector<uint8_t> array(kCount * kEntrySize);
    for (size_t i = 0; i < entries.size(); ++i) {
      uint8_t* e = &array[i * kEntrySize];
      std::copy(entries[i].type.begin(), entries[i].type.end(), e);
      e[16] = static_cast<uint8_t>(i + 1);  // a unique GUID of sorts
      store_le(e + 32, entries[i].first, 8);
      store_le(e + 40, entries[i].last, 8);
      for (size_t c = 0; c < entries[i].name.size(); ++c) store_le(e + 56 + 2 * c, entries[i].name[c], 2);
    }
    const uint64_t backup_array = last - array_sectors;
    for (const auto& [header, other, array_at] : {std::tuple{uint64_t{1}, last, uint64_t{2}}, std::tuple{last, uint64_t{1}, backup_array}}) {
      const uint64_t at = header * sector_size_;
      std::memcpy(&bytes_[at], "EFI PART", 8);
      put_le(at + 8, 0x00010000, 4);
      put_le(at + 12, 92, 4);  // the header's size
      put_le(at + 24, header, 8);
      put_le(at + 32, other, 8);
      put_le(at + 40, 2 + array_sectors, 8);  // the first usable sector
      put_le(at + 48, backup_array - 1, 8);   // the last
      put_le(at + 72, array_at, 8);
      put_le(at + 80, kCount, 4);
      put_le(at + 84, kEntrySize, 4);
      put_le(at + 88, crc32(array), 4);
      std::copy(array.begin(), array.end(), bytes_.begin() + array_at * sector_size_);
      reseal_gpt_header(header);
    }
  }

  // Sets the CRC of the GPT header at `sector` to what its bytes say (after a case changed them).
  void reseal_gpt_header(uint64_t sector) {
    const uint64_t at = sector * sector_size_;
    put_le(at + 16, 0, 4);
    put_le(at + 16, crc32(std::span(&bytes_[at], load_le32(&bytes_[at + 12]))), 4);
  }
  void put_le(uint64_t offset, uint64_t value, int size) { store_le(&bytes_[offset], value, size); }

 private:
  static void store_le(uint8_t* at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
  }
  uint32_t sector_size_;
  std::vector<uint8_t> bytes_;
};

// One partition as "N:first+count type [(fat)] ["label"]" (sectors), for comparing lists.
std::string summary(const PartitionTable& table) {
  std::string text;
  for (const Partition& p : table.partitions) {
    if (!text.empty()) text += "; ";
    text += std::to_string(p.number) + ":" + std::to_string(p.first_sector) + "+" + std::to_string(p.sector_count) + " " +
            p.type + (p.fat_type ? " (fat)" : "") + (p.label.empty() ? "" : " \"" + p.label + "\"");
  }
  return text;
}

constexpr uint64_t kSectors = 4096;  // 2 MiB of 512-byte sectors
const Guid kGuidLinux = guid_from_text("0FC63DAF-8483-4772-8E79-3D69D8477DE4");

// A FAT boot sector: jump, OEM name, 512 bytes per sector, the signature.
void fat_boot_sector(MemoryDisk& disk) {
  auto& b = disk.bytes();
  b[0] = 0xEB, b[1] = 0x58, b[2] = 0x90;
  b[11] = 0x00, b[12] = 0x02;
  b[510] = 0x55, b[511] = 0xAA;
}

void flip(MemoryDisk& disk, uint64_t offset) { disk.bytes()[offset] ^= 0x01; }

// A primary partition, and a chain of two extended boot records inside the extended partition at 1000: a
// logical partition in each.
const std::vector<MbrEntry> kChain = {{0, 0, 0x0C, 100, 800}, {0, 1, 0x0F, 1000, 2000}, {1000, 0, 0x0C, 63, 100},
                                      {1000, 1, 0x05, 500, 300}, {1500, 0, 0x1C, 63, 200}};
const std::vector<GptEntry> kData = {{kGuidBasicData, 34, 4000, u""}};

struct TableCase {
  const char* name;
  std::vector<MbrEntry> mbr;
  std::vector<GptEntry> gpt;                 // a GPT after the MBR's entries when there are any
  std::function<void(MemoryDisk&)> damage;   // then this, when set
  bool accepted;
  TableKind kind;
  std::string expected;  // the summary of the partitions when accepted, else the problem
  std::string note = {};
  uint32_t disk_sector_size = 512;
  uint32_t sector_size_hint = 0;  // what the device says; 0 for an image
  uint64_t sectors = kSectors;
};

const TableCase kTableCases[] = {
    // --- MBR ---
    {"primaries numbered by their slot, empty slots skipped", {{0, 0, 0x83, 64, 64}, {0, 2, 0x0B, 128, 64}, {0, 3, 0xEF, 192, 64}},
     {}, {}, true, TableKind::kMbr, "1:64+64 type 0x83; 3:128+64 FAT32 (CHS) 0x0b (fat); 4:192+64 EFI system 0xef (fat)"},
    {"logical partitions numbered from 5 along the chain", kChain, {}, {}, true, TableKind::kMbr,
     "1:100+800 FAT32 (LBA) 0x0c (fat); 5:1063+100 FAT32 (LBA) 0x0c (fat); 6:1563+200 hidden FAT32 (LBA) 0x1c (fat)"},
    {"an extended partition with a blank first record holds nothing", {{0, 0, 0x05, 1000, 100}}, {}, {}, true,
     TableKind::kMbr, ""},
    {"a file system's boot sector is no table", {}, {}, fat_boot_sector, true, TableKind::kNone, ""},
    {"a boot loader's jump before real entries is an MBR", {{0, 0, 0x0C, 2048, 1024}}, {}, fat_boot_sector, true,
     TableKind::kMbr, "1:2048+1024 FAT32 (LBA) 0x0c (fat)"},
    {"boot flags other than 0x00 and 0x80 are no table", {{0, 0, 0x0C, 2048, 1024}}, {},
     [](MemoryDisk& d) { d.bytes()[446 + 16] = 0x12; }, true, TableKind::kNone, ""},
    {"no signature, no table", {}, {}, {}, true, TableKind::kNone, ""},
    {"MBR partition past the end", {{0, 0, 0x0C, 4000, 200}}, {}, {}, false, TableKind::kMbr,
     "partition 1 (sectors 4000-4199) ends past the end of the disk (4096 sectors of 512 bytes)"},
    {"MBR partitions that overlap", {{0, 0, 0x0C, 100, 200}, {0, 1, 0x83, 250, 100}}, {}, {}, false, TableKind::kMbr,
     "partitions 1 and 2 overlap (sectors 100-299 and 250-349)"},
    {"MBR partition over the table", {{0, 0, 0x0C, 0, 100}}, {}, {}, false, TableKind::kMbr,
     "partition 1 starts at sector 0, over the partition table"},
    {"two extended partitions", {{0, 0, 0x05, 1000, 100}, {0, 1, 0x0F, 2000, 100}}, {}, {}, false, TableKind::kMbr,
     "the MBR has two extended partitions (1 and 2)"},
    {"a chain of records that loops", kChain, {}, [](MemoryDisk& d) { d.mbr_entry({1500, 1, 0x05, 500, 300}); }, false,
     TableKind::kMbr, "the chain of logical partitions loops (at sector 1500)"},
    {"a logical partition outside its extended partition", {{0, 0, 0x0F, 1000, 500}, {1000, 0, 0x0C, 63, 1000}}, {}, {},
     false, TableKind::kMbr, "logical partition 5 (sectors 1063-2062) lies outside its extended partition (sectors 1000-1499)"},
    {"a link out of the extended partition", {{0, 0, 0x0F, 1000, 500}, {1000, 0, 0x0C, 63, 100}, {1000, 1, 0x05, 900, 100}},
     {}, {}, false, TableKind::kMbr,
     "the chain of logical partitions leaves its extended partition (next record at sector 1900)"},
    {"a logical partition over the next record", kChain, {}, [](MemoryDisk& d) { d.mbr_entry({1000, 0, 0x0C, 63, 1000}); },
     false, TableKind::kMbr, "logical partition 5 covers the extended boot record at sector 1500"},
    {"a linked record without its signature", kChain, {}, [](MemoryDisk& d) { d.bytes()[1500 * 512 + 510] = 0; }, false,
     TableKind::kMbr, "the extended boot record at sector 1500 has no 0x55AA signature"},
    // --- GPT ---
    {"GPT types and names, numbered by entry", {},
     {{kGuidEfiSystem, 34, 100, u"EFI"}, {kGuidUnused, 0, 0, u""}, {kGuidLinux, 101, 200, u"root"},
      {kGuidBasicData, 201, 4000, u"DATA \u00fc"}},
     {}, true, TableKind::kGpt,
     "1:34+67 EFI system (fat) \"EFI\"; 3:101+100 type 0FC63DAF-8483-4772-8E79-3D69D8477DE4 \"root\"; "
     "4:201+3800 Microsoft basic data (fat) \"DATA \xc3\xbc\""},
    {"a damaged primary header: the backup stands in", {}, kData, [](MemoryDisk& d) { flip(d, 512 + 40); }, true,
     TableKind::kGpt, "1:34+3967 Microsoft basic data (fat)",
     "the primary GPT header is damaged (header CRC fails); the backup at sector 4095 is used"},
    {"a primary header that names another sector", {}, kData,
     [](MemoryDisk& d) {
       d.put_le(512 + 24, 5, 8);
       d.reseal_gpt_header(1);
     },
     true, TableKind::kGpt, "1:34+3967 Microsoft basic data (fat)",
     "the primary GPT header is damaged (the header says it lies at sector 5); the backup at sector 4095 is used"},
    {"an implausible entry array: the backup stands in", {}, kData,
     [](MemoryDisk& d) {
       d.put_le(512 + 80, 1u << 20, 4);
       d.reseal_gpt_header(1);
     },
     true, TableKind::kGpt, "1:34+3967 Microsoft basic data (fat)",
     "the primary GPT header is damaged (an entry array of 134217728 bytes is implausible); the backup at sector 4095 is used"},
    {"both GPT headers damaged", {}, kData,
     [](MemoryDisk& d) {
       flip(d, 2 * 512 + 33);
       flip(d, 4095 * 512 + 16);
     },
     false, TableKind::kGpt,
     "both headers fail: primary header (sector 1): entry array CRC fails; backup header (sector 4095): header CRC fails"},
    {"a protective MBR without a GPT", {{0, 0, 0xEE, 1, 4095}}, {}, {}, false, TableKind::kGpt,
     "both headers fail: primary header (sector 1): no \"EFI PART\" signature; backup header (sector 4095): no \"EFI PART\" signature"},
    {"GPT partition past the end", {}, {{kGuidBasicData, 34, 5000, u""}}, {}, false, TableKind::kGpt,
     "partition 1 (sectors 34-5000) ends past the end of the disk (4096 sectors of 512 bytes)"},
    {"GPT partitions that overlap", {}, {{kGuidBasicData, 34, 200, u""}, {kGuidEfiSystem, 150, 300, u""}}, {}, false,
     TableKind::kGpt, "partitions 1 and 2 overlap (sectors 34-200 and 150-300)"},
    {"GPT partition over the table's own sectors", {}, {{kGuidBasicData, 10, 200, u""}}, {}, false, TableKind::kGpt,
     "partition 1 (sectors 10-200) lies outside the GPT's usable sectors 34-4062"},
    {"GPT partition that ends before it starts", {}, {{kGuidBasicData, 300, 200, u""}}, {}, false, TableKind::kGpt,
     "partition 1 ends (sector 200) before it starts (sector 300)"},
    {"4096-byte sectors found on an image", {}, {{kGuidBasicData, 6, 500, u"BIG"}}, {}, true, TableKind::kGpt,
     "1:6+495 Microsoft basic data (fat) \"BIG\"", "", 4096, 0, 1024},
    {"4096-byte sectors the device reports", {}, {{kGuidBasicData, 6, 500, u"BIG"}}, {}, true, TableKind::kGpt,
     "1:6+495 Microsoft basic data (fat) \"BIG\"", "", 4096, 4096, 1024},
};

TEST(PartitionTables, ListOrRefuse) {
  for (const TableCase& c : kTableCases) {
    SCOPED_TRACE(c.name);
    MemoryDisk disk(c.sectors, c.disk_sector_size);
    for (const MbrEntry& entry : c.mbr) disk.mbr_entry(entry);
    if (!c.gpt.empty()) disk.gpt(c.gpt);
    if (c.damage) c.damage(disk);
    PartitionTable table;
    std::string problem;
    const bool accepted = read_partition_table(disk.reader(), disk.bytes().size(), c.sector_size_hint, table, problem);
    ASSERT_EQ(accepted, c.accepted) << problem;
    EXPECT_EQ(table.kind, c.kind);
    if (accepted) {
      EXPECT_EQ(summary(table), c.expected);
      EXPECT_EQ(table.note, c.note);
      if (c.kind != TableKind::kNone) {
        EXPECT_EQ(table.sector_size, c.disk_sector_size);
      }
      for (const Partition& p : table.partitions) {
        EXPECT_EQ(p.offset, p.first_sector * c.disk_sector_size);
        EXPECT_EQ(p.length, p.sector_count * c.disk_sector_size);
      }
    } else {
      EXPECT_NE(problem.find(c.expected), std::string::npos) << problem;
    }
  }
}

TEST(PartitionTables, AnUnreadableDiskHasNoTable) {
  const DiskReader fails = [](uint64_t, std::span<uint8_t>) { return false; };
  for (const uint64_t size : {uint64_t{1} << 20, uint64_t{100}}) {  // the second smaller than a sector
    PartitionTable table;
    std::string problem;
    EXPECT_TRUE(read_partition_table(fails, size, 0, table, problem)) << size;
    EXPECT_EQ(table.kind, TableKind::kNone) << size;
  }
}

}  // namespace
}  // namespace vornos::disk
