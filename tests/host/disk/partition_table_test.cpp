// The partition table reader on disks built in memory: what it lists, and every kind of lie it refuses.
#include <gtest/gtest.h>

#include <functional>

#include "disk/crc32.h"
#include "disk/partition_table.h"
#include "memory_disk.h"

namespace vornos::disk::test {
namespace {

constexpr uint64_t kSectors = 4096;  // 2 MiB of 512-byte sectors
const Guid kGuidLinux = guid_from_text("0FC63DAF-8483-4772-8E79-3D69D8477DE4");

struct TableCase {
  const char* name;
  std::function<void(MemoryDisk&)> build;
  bool accepted;
  TableKind kind;
  std::string expected;  // the summary of the partitions when accepted, else the problem
  std::string note = {};
  uint32_t disk_sector_size = 512;
  uint32_t sector_size_hint = 0;  // what the device says; 0 for an image
  uint64_t sectors = kSectors;
};

void flip(MemoryDisk& disk, uint64_t offset) { disk.bytes()[offset] ^= 0x01; }

// A FAT boot sector: jump, OEM name, 512 bytes per sector, the signature.
void fat_boot_sector(MemoryDisk& disk) {
  auto& b = disk.bytes();
  b[0] = 0xEB, b[1] = 0x58, b[2] = 0x90;
  b[11] = 0x00, b[12] = 0x02;
  b[510] = 0x55, b[511] = 0xAA;
}

const TableCase kTableCases[] = {
    // --- MBR ---
    {"one FAT32 partition",
     [](MemoryDisk& d) { d.mbr_entry(0, 0, 0x0C, 2048, 1024); }, true, TableKind::kMbr,
     "1:2048+1024 FAT32 (LBA) 0x0c (fat)"},
    {"primaries numbered by their slot, empty slots skipped",
     [](MemoryDisk& d) {
       d.mbr_entry(0, 0, 0x83, 64, 64);
       d.mbr_entry(0, 2, 0x0B, 128, 64);
       d.mbr_entry(0, 3, 0xEF, 192, 64);
     },
     true, TableKind::kMbr, "1:64+64 type 0x83; 3:128+64 FAT32 (CHS) 0x0b (fat); 4:192+64 EFI system 0xef (fat)"},
    {"logical partitions numbered from 5 along the chain",
     [](MemoryDisk& d) {
       d.mbr_entry(0, 0, 0x0C, 100, 800);
       d.mbr_entry(0, 1, 0x0F, 1000, 2000);
       d.mbr_entry(1000, 0, 0x0C, 63, 100);
       d.mbr_entry(1000, 1, 0x05, 500, 300);
       d.mbr_entry(1500, 0, 0x1C, 63, 200);
     },
     true, TableKind::kMbr,
     "1:100+800 FAT32 (LBA) 0x0c (fat); 5:1063+100 FAT32 (LBA) 0x0c (fat); 6:1563+200 hidden FAT32 (LBA) 0x1c (fat)"},
    {"an extended partition with a blank first record holds nothing",
     [](MemoryDisk& d) { d.mbr_entry(0, 0, 0x05, 1000, 100); }, true, TableKind::kMbr, ""},
    {"a file system's boot sector is no table", fat_boot_sector, true, TableKind::kNone, ""},
    {"a boot loader's jump before real entries is an MBR",
     [](MemoryDisk& d) {
       fat_boot_sector(d);
       d.mbr_entry(0, 0, 0x0C, 2048, 1024);
     },
     true, TableKind::kMbr, "1:2048+1024 FAT32 (LBA) 0x0c (fat)"},
    {"boot flags other than 0x00 and 0x80 are no table",
     [](MemoryDisk& d) {
       d.mbr_entry(0, 0, 0x0C, 2048, 1024);
       d.bytes()[446 + 16] = 0x12;
     },
     true, TableKind::kNone, ""},
    {"no signature, no table", [](MemoryDisk&) {}, true, TableKind::kNone, ""},
    {"MBR partition past the end",
     [](MemoryDisk& d) { d.mbr_entry(0, 0, 0x0C, 4000, 200); }, false, TableKind::kMbr,
     "partition 1 (sectors 4000-4199) ends past the end of the disk (4096 sectors of 512 bytes)"},
    {"MBR partitions that overlap",
     [](MemoryDisk& d) {
       d.mbr_entry(0, 0, 0x0C, 100, 200);
       d.mbr_entry(0, 1, 0x83, 250, 100);
     },
     false, TableKind::kMbr, "partitions 1 and 2 overlap (sectors 100-299 and 250-349)"},
    {"MBR partition over the table",
     [](MemoryDisk& d) { d.mbr_entry(0, 0, 0x0C, 0, 100); }, false, TableKind::kMbr,
     "partition 1 starts at sector 0, over the partition table"},
    {"two extended partitions",
     [](MemoryDisk& d) {
       d.mbr_entry(0, 0, 0x05, 1000, 100);
       d.mbr_entry(0, 1, 0x0F, 2000, 100);
     },
     false, TableKind::kMbr, "the MBR has two extended partitions (1 and 2)"},
    {"a chain of records that loops",
     [](MemoryDisk& d) {
       d.mbr_entry(0, 0, 0x0F, 1000, 2000);
       d.mbr_entry(1000, 0, 0x0C, 63, 100);
       d.mbr_entry(1000, 1, 0x05, 500, 300);
       d.mbr_entry(1500, 0, 0x0C, 63, 100);
       d.mbr_entry(1500, 1, 0x05, 500, 300);
     },
     false, TableKind::kMbr, "the chain of logical partitions loops (at sector 1500)"},
    {"a logical partition outside its extended partition",
     [](MemoryDisk& d) {
       d.mbr_entry(0, 0, 0x0F, 1000, 500);
       d.mbr_entry(1000, 0, 0x0C, 63, 1000);
     },
     false, TableKind::kMbr, "logical partition 5 (sectors 1063-2062) lies outside its extended partition (sectors 1000-1499)"},
    {"a link out of the extended partition",
     [](MemoryDisk& d) {
       d.mbr_entry(0, 0, 0x0F, 1000, 500);
       d.mbr_entry(1000, 0, 0x0C, 63, 100);
       d.mbr_entry(1000, 1, 0x05, 900, 100);
     },
     false, TableKind::kMbr, "the chain of logical partitions leaves its extended partition (next record at sector 1900)"},
    {"a logical partition over the next record",
     [](MemoryDisk& d) {
       d.mbr_entry(0, 0, 0x0F, 1000, 2000);
       d.mbr_entry(1000, 0, 0x0C, 63, 1000);
       d.mbr_entry(1000, 1, 0x05, 500, 300);
       d.mbr_entry(1500, 0, 0x0C, 63, 100);
     },
     false, TableKind::kMbr, "logical partition 5 covers the extended boot record at sector 1500"},
    {"a linked record without its signature",
     [](MemoryDisk& d) {
       d.mbr_entry(0, 0, 0x0F, 1000, 2000);
       d.mbr_entry(1000, 0, 0x0C, 63, 100);
       d.mbr_entry(1000, 1, 0x05, 500, 300);
       d.mbr_entry(1500, 0, 0x0C, 63, 100);
       d.bytes()[1500 * 512 + 510] = 0;
     },
     false, TableKind::kMbr, "the extended boot record at sector 1500 has no 0x55AA signature"},
    // --- GPT ---
    {"GPT types and names, numbered by entry",
     [](MemoryDisk& d) {
       d.gpt({{kGuidEfiSystem, 34, 100, u"EFI"}, {kGuidUnused, 0, 0, u""}, {kGuidLinux, 101, 200, u"root"},
              {kGuidBasicData, 201, 4000, u"DATA \u00fc"}});
     },
     true, TableKind::kGpt,
     "1:34+67 EFI system (fat) \"EFI\"; 3:101+100 type 0FC63DAF-8483-4772-8E79-3D69D8477DE4 \"root\"; "
     "4:201+3800 Microsoft basic data (fat) \"DATA \xc3\xbc\""},
    {"a damaged primary header: the backup stands in",
     [](MemoryDisk& d) {
       d.gpt({{kGuidBasicData, 34, 4000, u"DATA"}});
       flip(d, 512 + 40);
     },
     true, TableKind::kGpt, "1:34+3967 Microsoft basic data (fat) \"DATA\"",
     "the primary GPT header is damaged (header CRC fails); the backup at sector 4095 is used"},
    {"a primary header that names another sector",
     [](MemoryDisk& d) {
       d.gpt({{kGuidBasicData, 34, 4000, u""}});
       d.put_le64(512 + 24, 5);
       d.reseal_gpt_header(1);
     },
     true, TableKind::kGpt, "1:34+3967 Microsoft basic data (fat)",
     "the primary GPT header is damaged (the header says it lies at sector 5); the backup at sector 4095 is used"},
    {"an implausible entry array: the backup stands in",
     [](MemoryDisk& d) {
       d.gpt({{kGuidBasicData, 34, 4000, u""}});
       d.put_le32(512 + 80, 1u << 20);
       d.reseal_gpt_header(1);
     },
     true, TableKind::kGpt, "1:34+3967 Microsoft basic data (fat)",
     "the primary GPT header is damaged (an entry array of 134217728 bytes is implausible); the backup at sector 4095 is used"},
    {"both GPT headers damaged",
     [](MemoryDisk& d) {
       d.gpt({{kGuidBasicData, 34, 4000, u"DATA"}});
       flip(d, 2 * 512 + 33);
       flip(d, 4095 * 512 + 16);
     },
     false, TableKind::kGpt,
     "both headers fail: primary header (sector 1): entry array CRC fails; backup header (sector 4095): header CRC fails"},
    {"a protective MBR without a GPT",
     [](MemoryDisk& d) { d.mbr_entry(0, 0, 0xEE, 1, 4095); }, false, TableKind::kGpt,
     "both headers fail: primary header (sector 1): no \"EFI PART\" signature; backup header (sector 4095): no \"EFI PART\" signature"},
    {"GPT partition past the end",
     [](MemoryDisk& d) { d.gpt({{kGuidBasicData, 34, 5000, u""}}); }, false, TableKind::kGpt,
     "partition 1 (sectors 34-5000) ends past the end of the disk (4096 sectors of 512 bytes)"},
    {"GPT partitions that overlap",
     [](MemoryDisk& d) { d.gpt({{kGuidBasicData, 34, 200, u""}, {kGuidEfiSystem, 150, 300, u""}}); }, false,
     TableKind::kGpt, "partitions 1 and 2 overlap (sectors 34-200 and 150-300)"},
    {"GPT partition over the table's own sectors",
     [](MemoryDisk& d) { d.gpt({{kGuidBasicData, 10, 200, u""}}); }, false, TableKind::kGpt,
     "partition 1 (sectors 10-200) lies outside the GPT's usable sectors 34-4062"},
    {"GPT partition that ends before it starts",
     [](MemoryDisk& d) { d.gpt({{kGuidBasicData, 300, 200, u""}}); }, false, TableKind::kGpt,
     "partition 1 ends (sector 200) before it starts (sector 300)"},
    {"4096-byte sectors found on an image",
     [](MemoryDisk& d) { d.gpt({{kGuidBasicData, 6, 500, u"BIG"}}); }, true, TableKind::kGpt,
     "1:6+495 Microsoft basic data (fat) \"BIG\"", "", 4096, 0, 1024},
    {"4096-byte sectors the device reports",
     [](MemoryDisk& d) { d.gpt({{kGuidBasicData, 6, 500, u"BIG"}}); }, true, TableKind::kGpt,
     "1:6+495 Microsoft basic data (fat) \"BIG\"", "", 4096, 4096, 1024},
};

TEST(PartitionTables, ListOrRefuse) {
  for (const TableCase& c : kTableCases) {
    SCOPED_TRACE(c.name);
    MemoryDisk disk(c.sectors, c.disk_sector_size);
    c.build(disk);
    PartitionTable table;
    std::string problem;
    const bool accepted = read_partition_table(disk.reader(), disk.size(), c.sector_size_hint, table, problem);
    ASSERT_EQ(accepted, c.accepted) << problem;
    EXPECT_EQ(table.kind, c.kind);
    if (accepted) {
      EXPECT_EQ(summary(table), c.expected);
      EXPECT_EQ(table.note, c.note);
      if (c.kind != TableKind::kNone) EXPECT_EQ(table.sector_size, c.disk_sector_size);
      for (const Partition& p : table.partitions) {
        EXPECT_EQ(p.offset, p.first_sector * c.disk_sector_size);
        EXPECT_EQ(p.length, p.sector_count * c.disk_sector_size);
      }
    } else {
      EXPECT_NE(problem.find(c.expected), std::string::npos) << problem;
    }
  }
}

TEST(Crc32, MatchesTheStandardCheckValue) {
  const std::string text = "123456789";
  EXPECT_EQ(crc32(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())), 0xCBF43926u);
  // In two pieces, continued.
  EXPECT_EQ(crc32(std::span(reinterpret_cast<const uint8_t*>(text.data()) + 4, 5),
                  crc32(std::span(reinterpret_cast<const uint8_t*>(text.data()), 4))),
            0xCBF43926u);
}

TEST(PartitionTables, AnUnreadableDiskHasNoTable) {
  PartitionTable table;
  std::string problem;
  const DiskReader fails = [](uint64_t, std::span<uint8_t>) { return false; };
  EXPECT_TRUE(read_partition_table(fails, 1 << 20, 0, table, problem));
  EXPECT_EQ(table.kind, TableKind::kNone);
  EXPECT_TRUE(read_partition_table(fails, 100, 0, table, problem));  // smaller than a sector
  EXPECT_EQ(table.kind, TableKind::kNone);
}

}  // namespace
}  // namespace vornos::disk::test
