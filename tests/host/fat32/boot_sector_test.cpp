// Boot sector checks: a good sector gives the right geometry, and each kind of nonsense is refused.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "fat32/boot_sector.h"
#include "fat32/le.h"

namespace vornos::fat32 {
namespace {

// A FAT32 boot sector as mkfs.fat writes it for a 64 MiB volume with 512-byte clusters.
std::vector<uint8_t> good_sector() {
  std::vector<uint8_t> s(512, 0);
  store_le16(&s[11], 512);
  s[13] = 1;
  store_le16(&s[14], 32);
  s[16] = 2;
  store_le32(&s[32], 131072);
  store_le32(&s[36], 1009);
  store_le32(&s[44], 2);
  store_le16(&s[48], 1);
  store_le16(&s[50], 6);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

TEST(BootSector, DerivesGeometryOfAGoodSector) {
  Geometry g;
  std::string problem;
  ASSERT_TRUE(parse_boot_sector(good_sector(), g, problem)) << problem;
  EXPECT_EQ(g.bytes_per_sector, 512u);
  EXPECT_EQ(g.cluster_bytes, 512u);
  EXPECT_EQ(g.first_data_sector, 32u + 2 * 1009);
  EXPECT_EQ(g.cluster_count, 131072u - 2050);
  EXPECT_EQ(g.root_cluster, 2u);
  EXPECT_EQ(g.fsinfo_sector, 1u);
  EXPECT_TRUE(g.fats_mirrored);
  EXPECT_EQ(g.cluster_offset(2), uint64_t{2050} * 512);
  EXPECT_EQ(g.cluster_offset(5), uint64_t{2053} * 512);
  EXPECT_EQ(g.fat_offset(1), uint64_t{32 + 1009} * 512);
  EXPECT_TRUE(g.is_data_cluster(g.cluster_count + 1));
  EXPECT_FALSE(g.is_data_cluster(g.cluster_count + 2));
  EXPECT_FALSE(g.is_data_cluster(1));
}

TEST(BootSector, ActiveFatFromExtFlagsWhenMirroringIsOff) {
  auto s = good_sector();
  store_le16(&s[40], 0x81);
  Geometry g;
  std::string problem;
  ASSERT_TRUE(parse_boot_sector(s, g, problem)) << problem;
  EXPECT_FALSE(g.fats_mirrored);
  EXPECT_EQ(g.active_fat, 1u);
}

TEST(BootSector, RefusesNonsense) {
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* problem;
  };
  const Case cases[] = {
      {"no signature", [](auto& s) { s[511] = 0; }, "signature"},
      {"sector size 0", [](auto& s) { store_le16(&s[11], 0); }, "bytes per sector"},
      {"sector size 768", [](auto& s) { store_le16(&s[11], 768); }, "bytes per sector"},
      {"cluster of 0 sectors", [](auto& s) { s[13] = 0; }, "sectors per cluster"},
      {"cluster of 3 sectors", [](auto& s) { s[13] = 3; }, "sectors per cluster"},
      {"cluster of 128 KiB", [](auto& s) { store_le16(&s[11], 4096); s[13] = 32; }, "too large"},
      {"FAT16 size set", [](auto& s) { store_le16(&s[22], 200); }, "FAT12/FAT16"},
      {"root entries set", [](auto& s) { store_le16(&s[17], 512); }, "FAT12/FAT16"},
      {"no reserved sectors", [](auto& s) { store_le16(&s[14], 0); }, "reserved"},
      {"no FATs", [](auto& s) { s[16] = 0; }, "number of FATs"},
      {"FAT size 0", [](auto& s) { store_le32(&s[36], 0); }, "FAT size is 0"},
      {"FATs past the end", [](auto& s) { store_le32(&s[32], 2000); }, "no room for data"},
      {"FAT too small", [](auto& s) { store_le32(&s[36], 100); }, "cannot hold"},
      {"root cluster 0", [](auto& s) { store_le32(&s[44], 0); }, "root directory cluster"},
      {"root cluster past the end", [](auto& s) { store_le32(&s[44], 200000); }, "root directory cluster"},
      {"missing active FAT", [](auto& s) { store_le16(&s[40], 0x85); }, "active FAT"},
  };
  for (const Case& c : cases) {
    auto s = good_sector();
    c.damage(s);
    Geometry g;
    std::string problem;
    EXPECT_FALSE(parse_boot_sector(s, g, problem)) << c.what;
    EXPECT_NE(problem.find(c.problem), std::string::npos) << c.what << ": " << problem;
  }
  Geometry g;
  std::string problem;
  EXPECT_FALSE(parse_boot_sector(std::vector<uint8_t>(100, 0), g, problem));
}

TEST(BootSector, FsInfoOutsideTheReservedAreaIsIgnored) {
  auto s = good_sector();
  store_le16(&s[48], 0xFFFF);
  Geometry g;
  std::string problem;
  ASSERT_TRUE(parse_boot_sector(s, g, problem)) << problem;
  EXPECT_EQ(g.fsinfo_sector, 0u);
}

}  // namespace
}  // namespace vornos::fat32
