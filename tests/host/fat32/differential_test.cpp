// Seeded single-bit damages of a volume made by mkfs.fat and mtools: whatever the repair writes is
// attribute bytes only, and never makes fsck.fat -n report a problem it did not report before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "fat32/errors.h"
#include "fat32/le.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;

TEST(Differential, SingleBitDamagesNeverMakeTheVolumeWorse) {
  const char* count = std::getenv("FAT32_DAMAGES");  // a bounded share in CI; FAT32_DAMAGES=N for a full run
  const unsigned damages = count ? static_cast<unsigned>(std::stoul(count)) : 300;
  const std::string image = make_tree();
  std::vector<uint8_t> bytes = read_file(image);
  const Geometry g = geometry_of(image);
  std::vector<uint64_t> entries;  // the live entries of every directory, dot entries and slots included
  std::vector<std::string> directories = {"/"};
  for (const std::string& path : kTree) if (path.back() == '/') directories.push_back("/" + path);
  std::string error;
  auto volume = Volume::open(image, true, error);
  for (const std::string& path : directories) {
    LookupResult found;
    std::vector<uint32_t> chain;
    ASSERT_EQ(volume->lookup(path, found), kOk) << path;
    ASSERT_EQ(volume->cluster_chain(found.directory_cluster(g.root_cluster), chain), kOk) << path;
    for (uint32_t cluster : chain) {
      for (uint64_t at = g.cluster_offset(cluster); at < g.cluster_offset(cluster + 1); at += kDirEntrySize) {
        if (bytes[at] != kEndOfDirectoryMark && bytes[at] != kFreeEntryMark) entries.push_back(at);
      }
    }
  }
  uint32_t used = 2;
  while (load_le32(&bytes[g.fat_offset(0) + 4 * used]) != 0) ++used;

  std::mt19937 random(20261206);
  unsigned repaired = 0, refused = 0;
  for (unsigned n = 0; n < damages; ++n) {
    // Damage lands in the boot sector's fields, a FAT entry in use in either copy, or a live directory
    // entry: its attribute byte, its start cluster, or anywhere in it.
    const unsigned region = random() % 20;
    const uint64_t entry = entries[random() % entries.size()];
    constexpr unsigned kClusterBytes[] = {20, 21, 26, 27};
    const uint64_t offset = region < 2   ? random() % 90
                            : region < 5 ? g.fat_offset(random() % 2) + random() % (4 * used)
                            : region < 10 ? entry + kAttrOffset
                            : region < 14 ? entry + kClusterBytes[random() % 4]
                                          : entry + random() % kDirEntrySize;
    const auto bit = static_cast<uint8_t>(1u << (random() % 8));
    bytes[offset] ^= bit;
    poke(image, offset, {bytes[offset]});
    const Outcome dry = repair(image, "/", true, true);
    refused += dry.result < 0;
    if (dry.result > 0) {
      ++repaired;
      const std::vector<std::string> before = fsck(image);
      const Outcome real = repair(image);
      EXPECT_EQ(real.result, dry.result) << "damage " << n;
      const std::vector<ByteChange> changes = changed_bytes(bytes, read_file(image));
      EXPECT_EQ(changes.size(), real.records.size()) << "damage " << n;
      for (const ByteChange& c : changes) {
        EXPECT_TRUE(c.offset >= g.cluster_offset(2) && (c.offset - g.cluster_offset(2)) % kDirEntrySize == kAttrOffset)
            << "damage " << n << " changed byte " << c.offset;
      }
      for (const std::string& line : fsck(image)) {
        EXPECT_NE(std::find(before.begin(), before.end(), line), before.end()) << "damage " << n << " at byte " << offset << ": " << line;
      }
      for (const ByteChange& c : changes) poke(image, c.offset, {c.before});
    }
    bytes[offset] ^= bit;
    poke(image, offset, {bytes[offset]});
  }
  std::printf("%u damages: %u repaired, %u refused (-5 or other errors)\n", damages, repaired, refused);
  EXPECT_GT(repaired, 0u);
}

}  // namespace
}  // namespace vornos::fat32
