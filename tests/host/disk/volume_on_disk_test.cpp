// Volumes inside partitioned disks made by sfdisk and sgdisk, formatted with mkfs.fat --offset and filled
// with mtools: the right partition is found, the repair mends it, fsck.fat is clean on its bytes, and not
// one byte outside it changes. Snapshots leave the whole disk as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>

#include "../fat32/test_images.h"
#include "fat32/errors.h"
#include "fat32/mount.h"
#include "fat32/repair.h"

namespace vornos::fat32 {
namespace {

using test::quote;
using test::run;

constexpr uint64_t kSector = 512;
constexpr uint64_t kVolumeKib = 34000;  // about the smallest FAT32 volume the tools accept

struct DiskLayout {
  const char* name;                   // the test's name
  std::string table;                  // the shell command that writes the table, DISK standing for the image
  uint64_t fat_start;                 // the sector where the FAT32 volume is made
  uint32_t chosen;                    // the partition the volume is found in
  std::string described;              // how the place is described
};

const std::string kSfdisk = "sfdisk --no-reread --no-tell-kernel -q DISK >/dev/null 2>&1 <<'END'\n";

const DiskLayout kLayouts[] = {
    {"MbrPrimary",
     kSfdisk + "label: dos\nstart=2048, size=70000, type=c\nstart=72048, size=20000, type=83\nEND\n", 2048, 1,
     "partition 1 of the MBR: start 1048576, 35840000 bytes, FAT32 (LBA) 0x0c"},
    {"MbrLogical",
     kSfdisk + "label: dos\nstart=2048, size=2000, type=83\nstart=4096, size=90000, type=5\nstart=6144, size=70000, "
               "type=b\nEND\n",
     6144, 5, "partition 5 of the MBR: start 3145728, 35840000 bytes, FAT32 (CHS) 0x0b"},
    {"Gpt",
     "sgdisk -n 1:2048:4095 -t 1:8300 -c 1:root -n 2:4096:74095 -t 2:0700 -c 2:CARD DISK >/dev/null 2>&1\n", 4096,
     2, "partition 2 of the GPT: start 2097152, 35840000 bytes, Microsoft basic data, label \"CARD\""},
};

// A sparse disk of the layout's size and table, its FAT32 volume made in place with the test tree on it.
std::string make_disk(const DiskLayout& layout) {
  const std::string disk = test::scratch_dir() + "/disk.img";
  std::string table = layout.table;
  for (size_t at; (at = table.find("DISK")) != std::string::npos;) table.replace(at, 4, quote(disk));
  EXPECT_EQ(run("truncate -s 48M " + quote(disk)), 0);
  EXPECT_EQ(run(table), 0) << table;
  EXPECT_EQ(run("mkfs.fat -F 32 -s 1 -i 1234abcd --offset " + std::to_string(layout.fat_start) + " " + quote(disk) +
                " " + std::to_string(kVolumeKib) + " >/dev/null 2>&1"),
            0);
  test::populate(disk + "@@" + std::to_string(layout.fat_start * kSector), {"Docs/", "Docs/notes.txt", "Photos/", "a.txt"});
  return disk;
}

// The bytes of the partition at `offset` in its own file, for the tools that read whole volumes.
std::string extract(const std::string& disk, uint64_t offset, uint64_t length, const std::string& name) {
  const std::vector<uint8_t> bytes = test::read_file(disk);
  const std::string path = test::scratch_dir() + "/" + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data() + offset),
                                              static_cast<std::streamsize>(length));
  return path;
}

class DiskLayouts : public ::testing::TestWithParam<DiskLayout> {};

TEST_P(DiskLayouts, TheRepairMendsThePartitionAndNothingElse) {
  const DiskLayout& layout = GetParam();
  const std::string disk = make_disk(layout);
  const uint64_t start = layout.fat_start * kSector;
  // Damage: /Docs marked as a label too (R3 clears it). Its place is found on the extracted volume.
  const std::string clean = extract(disk, start, kVolumeKib * 1024, "clean.img");
  const uint64_t attribute = test::entry_offset(clean, "/Docs") + kAttrOffset;
  test::poke(disk, start + attribute, {0x18});
  const std::vector<uint8_t> before = test::read_file(disk);

  std::string error;
  auto volume = Volume::open(disk, VolumeOpenOptions{}, error);
  ASSERT_NE(volume, nullptr) << error;
  ASSERT_TRUE(volume->place().partition);
  EXPECT_EQ(volume->place().partition->number, layout.chosen);
  EXPECT_EQ(describe_place(volume->place()), layout.described);
  EXPECT_EQ(repair_dirents(*volume, "/", {}), 1);
  EXPECT_EQ(repair_dirents(*volume, "/", {}), 0);
  volume.reset();

  const std::vector<uint8_t> after = test::read_file(disk);
  ASSERT_EQ(after.size(), before.size());
  // One byte of the whole disk changed: the table, the other partitions and the rest are as they were.
  EXPECT_EQ(test::changed_bytes(before, after), (std::vector<test::ByteChange>{{start + attribute, 0x18, 0x10}}));
  EXPECT_EQ(test::fsck(extract(disk, start, kVolumeKib * 1024, "repaired.img")), test::kNoProblems);
}

INSTANTIATE_TEST_SUITE_P(Tools, DiskLayouts, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PartitionedDisks, AVolumeThatDoesNotFitItsPlaceIsRefused) {
  // A volume made for 34000 KiB at the start of a partition of 60000 sectors (30000 KiB); and a partition
  // named on an image that is a volume as a whole.
  const DiskLayout small = {"TooSmall", kSfdisk + "label: dos\nstart=2048, size=60000, type=c\nEND\n", 2048, 0, ""};
  const struct {
    std::string image;
    std::optional<uint32_t> partition;
    std::string error;
  } rows[] = {
      {make_disk(small), std::nullopt,
       "the MBR has no partition of a FAT32 type that holds a FAT32 volume\n"
       "  partition 1: start 1048576, 30720000 bytes, FAT32 (LBA) 0x0c: its boot sector says 34816000 bytes, the partition has 30720000"},
      {test::make_image(), 1,
       "--partition 1 names a partition, but the image has no partition table (it is a FAT32 volume as a whole)"},
  };
  for (const auto& row : rows) {
    VolumeOpenOptions options;
    options.partition = row.partition;
    std::string error;
    EXPECT_EQ(Volume::open(row.image, options, error), nullptr);
    EXPECT_EQ(error, row.error);
  }
}

TEST(Snapshots, ProgramsSeeTheirWritesAndTheDiskStaysAsItWas) {
  const std::string disk = make_disk(kLayouts[2]);
  const std::vector<uint8_t> before = test::read_file(disk);
  const std::string content(300000, 'x');  // more than the memory budget below: pages spill
  {
    VolumeOpenOptions options;
    options.snapshot = true;
    options.snapshot_memory = 64 * 1024;
    std::string error;
    auto volume = Volume::open(disk, options, error);
    ASSERT_NE(volume, nullptr) << error;
    EXPECT_TRUE(volume->snapshot());
    EXPECT_FALSE(volume->read_only());
    Mount mount(*volume);
    ASSERT_EQ(mount.replace("/Docs/new.txt", std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size())),
              kOk);
    Node node;
    ASSERT_EQ(mount.lookup("/Docs/new.txt", node), kOk);
    std::vector<uint8_t> back(content.size());
    ASSERT_EQ(mount.read(node.id, 0, back), static_cast<int32_t>(content.size()));
    EXPECT_TRUE(std::equal(back.begin(), back.end(), content.begin()));
    EXPECT_EQ(mount.detach(), kOk);
  }
  EXPECT_TRUE(test::read_file(disk) == before) << "a snapshot wrote the disk";
}

TEST(Snapshots, ReadOnlyWinsOverASnapshot) {
  const std::string image = test::make_image();
  VolumeOpenOptions options;
  options.snapshot = true;
  options.read_only = true;
  std::string error;
  auto volume = Volume::open(image, options, error);
  ASSERT_NE(volume, nullptr) << error;
  EXPECT_TRUE(volume->read_only());
  EXPECT_FALSE(volume->snapshot());
}

}  // namespace
}  // namespace vornos::fat32
