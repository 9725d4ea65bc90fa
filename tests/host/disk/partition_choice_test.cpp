// Choosing the partition: the only FAT32 one, the one asked for, or a refusal that lists them all.
#include <gtest/gtest.h>

#include <map>

#include "disk/partition_choice.h"

namespace vornos::disk {
namespace {

// Partition N: 1024 sectors from sector 2048 * N.
Partition partition(uint32_t number, bool fat_type, std::string label = {}) {
  return {number, 2048 * number, 1024, 2048 * number * 512, 1024 * 512, fat_type ? "FAT32 (LBA) 0x0c" : "type 0x83",
          std::move(label), fat_type};
}

struct ChoiceCase {
  const char* name;
  std::vector<Partition> partitions;
  std::map<uint32_t, std::string> verdicts;  // the check's answer per partition; missing: usable
  std::optional<uint32_t> requested;
  uint32_t chosen;        // 0: refused
  std::string problem;    // the whole refusal
};

const std::string kNotFat = "not FAT32: bytes per sector is 0";

const ChoiceCase kChoiceCases[] = {
    {"the only FAT32 partition", {partition(1, false), partition(2, true)}, {{1, kNotFat}}, std::nullopt, 2, ""},
    {"a FAT32 type that holds none is passed over",
     {partition(1, true), partition(2, true)}, {{1, kNotFat}}, std::nullopt, 2, ""},
    {"two FAT32 partitions are refused with a list",
     {partition(1, true, "ONE"), partition(2, false), partition(5, true)}, {{2, kNotFat}}, std::nullopt, 0,
     "the MBR has 2 FAT32 partitions; choose one with --partition N\n"
     "  partition 1: start 1048576, 524288 bytes, FAT32 (LBA) 0x0c, label \"ONE\": FAT32\n"
     "  partition 2: start 2097152, 524288 bytes, type 0x83: " + kNotFat + "\n"
     "  partition 5: start 5242880, 524288 bytes, FAT32 (LBA) 0x0c: FAT32"},
    {"a volume in a partition of another type is not taken unasked",
     {partition(1, false)}, {}, std::nullopt, 0,
     "the MBR has no partition of a FAT32 type that holds a FAT32 volume\n"
     "  partition 1: start 1048576, 524288 bytes, type 0x83: FAT32"},
    {"a table without partitions", {}, {}, std::nullopt, 0,
     "the MBR has no partition of a FAT32 type that holds a FAT32 volume (it lists no partitions)"},
    {"asked for: any type that holds a volume", {partition(1, false), partition(2, true)}, {}, 1, 1, ""},
    {"asked for: one that holds none",
     {partition(1, true), partition(2, true)}, {{2, kNotFat}}, 2, 0,
     "partition 2 holds no usable FAT32 volume: " + kNotFat},
    {"asked for: one that is not there",
     {partition(1, true), partition(3, true)}, {}, 2, 0,
     "the MBR has no partition 2\n"
     "  partition 1: start 1048576, 524288 bytes, FAT32 (LBA) 0x0c: FAT32\n"
     "  partition 3: start 3145728, 524288 bytes, FAT32 (LBA) 0x0c: FAT32"},
};

TEST(ChoosePartition, ChoosesOrRefuses) {
  for (const ChoiceCase& c : kChoiceCases) {
    SCOPED_TRACE(c.name);
    PartitionTable table;
    table.kind = TableKind::kMbr;
    table.partitions = c.partitions;
    std::string problem;
    const auto chosen = choose_partition(table, c.requested, [&](const Partition& p) {
      const auto verdict = c.verdicts.find(p.number);
      return verdict == c.verdicts.end() ? std::string() : verdict->second;
    }, problem);
    EXPECT_EQ(chosen ? chosen->number : 0, c.chosen);
    EXPECT_EQ(problem, c.problem);
  }
}

}  // namespace
}  // namespace vornos::disk
