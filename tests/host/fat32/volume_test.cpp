// The volume layer on images made by mkfs.fat and mtools, and on images damaged in their structure.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "fat32/errors.h"
#include "fat32/le.h"
#include "fat32/names.h"
#include "fat32/volume.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;

std::unique_ptr<Volume> open_or_fail(const std::string& image, bool read_only = true) {
  std::string error;
  auto volume = Volume::open(image, read_only, error);
  EXPECT_TRUE(volume) << error;
  return volume;
}

// Sets FAT entry `cluster` to `value` in every FAT copy.
void set_fat_entry(const std::string& image, uint32_t cluster, uint32_t value) {
  const Geometry g = open_or_fail(image)->geometry();
  auto bytes = read_file(image);
  for (uint32_t copy = 0; copy < g.fat_count; ++copy) store_le32(&bytes[g.fat_offset(copy) + 4 * cluster], value);
  write_file(image, bytes);
}

std::vector<std::string> names_of(const std::vector<DirEntryInfo>& entries) {
  std::vector<std::string> names;
  for (const DirEntryInfo& e : entries) names.push_back(std::string(e.name().begin(), e.name().end()));
  return names;
}

TEST(Volume, OpenRefusesUnusableImagesWithClearMessages) {
  const std::string dir = scratch_dir();
  std::string error;
  EXPECT_EQ(Volume::open(dir + "/missing.img", true, error), nullptr);
  EXPECT_EQ(error, "cannot open " + dir + "/missing.img: No such file or directory");
  EXPECT_EQ(Volume::open(dir, true, error), nullptr);
  EXPECT_EQ(error.rfind("cannot open " + dir, 0), 0u) << error;

  write_file(dir + "/tiny.img", std::vector<uint8_t>(100, 0));
  EXPECT_EQ(Volume::open(dir + "/tiny.img", true, error), nullptr);
  EXPECT_EQ(error.rfind("not a FAT32 volume: ", 0), 0u) << error;

  std::vector<uint8_t> noise(1 << 20);
  uint32_t state = 12345;
  for (auto& b : noise) b = static_cast<uint8_t>((state = state * 1103515245 + 12345) >> 16);
  write_file(dir + "/noise.img", noise);
  EXPECT_EQ(Volume::open(dir + "/noise.img", true, error), nullptr);
  EXPECT_EQ(error.rfind("not a FAT32 volume: ", 0), 0u) << error;

  must_run("mkfs.fat -F 16 -C " + quote(dir + "/fat16.img") + " 65536 >/dev/null");
  EXPECT_EQ(Volume::open(dir + "/fat16.img", true, error), nullptr);
  EXPECT_NE(error.find("FAT12/FAT16"), std::string::npos) << error;

  const std::string image = make_image(dir);
  std::filesystem::resize_file(image, 64 * 1024);
  EXPECT_EQ(Volume::open(image, true, error), nullptr);
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
}

TEST(Volume, ReadOnlyVolumeRefusesWrites) {
  const std::string image = make_image(scratch_dir());
  auto volume = open_or_fail(image, true);
  ASSERT_TRUE(volume);
  EXPECT_TRUE(volume->read_only());
  std::vector<uint8_t> sector;
  ASSERT_EQ(volume->read_sector(0, sector), kOk);
  EXPECT_EQ(volume->write_sector(0, sector), kReadOnly);
  EXPECT_FALSE(open_or_fail(image, false)->read_only());
}

TEST(Volume, ImageThatMayNotBeWrittenOpensReadOnly) {
  const std::string image = make_image(scratch_dir());
  const ImmutableFile lock(image);
  if (!lock.locked()) GTEST_SKIP() << "chattr +i is not available here";
  std::string error;
  auto volume = Volume::open(image, false, error);
  ASSERT_TRUE(volume) << error;
  EXPECT_TRUE(volume->read_only());
  LookupResult root;
  EXPECT_EQ(volume->lookup("/", root), kOk);
}

TEST(Volume, ReadsGeometryAndFsInfoOfMkfsImages) {
  const std::string image = make_image(scratch_dir(), "v.img", 34000, 1);
  auto volume = open_or_fail(image);
  ASSERT_TRUE(volume);
  const Geometry& g = volume->geometry();
  EXPECT_EQ(g.bytes_per_sector, 512u);
  EXPECT_EQ(g.cluster_bytes, 512u);
  EXPECT_EQ(g.fat_count, 2u);
  EXPECT_EQ(g.root_cluster, 2u);
  EXPECT_GE(g.cluster_count, 65525u);
  EXPECT_NE(volume->fsinfo_hints().free_clusters, kUnknownHint);
  std::vector<uint32_t> chain;
  ASSERT_EQ(volume->cluster_chain(g.root_cluster, chain), kOk);
  EXPECT_EQ(chain, std::vector<uint32_t>{2});
}

TEST(Volume, ListsDirectoriesWithLongAndShortNames) {
  const std::string image = make_image(scratch_dir());
  populate(image, {"Photos/", "Photos/Summer Trip/", "Photos/Summer Trip/Beach Day Photo.jpg", "README.TXT",
                   "lower.txt", "Mixed Case Name.TxT"});
  auto volume = open_or_fail(image);
  ASSERT_TRUE(volume);
  std::vector<DirEntryInfo> root;
  ASSERT_EQ(volume->list_directory(volume->root_cluster(), root), kOk);
  EXPECT_EQ(names_of(root), (std::vector<std::string>{"Photos", "README.TXT", "lower.txt", "Mixed Case Name.TxT"}));
  EXPECT_EQ(root[0].short_name, u"PHOTOS");
  EXPECT_EQ(root[3].short_name, u"MIXEDC~1.TXT");
  EXPECT_EQ(root[0].entry.attributes & attr::kDirectory, attr::kDirectory);

  LookupResult trip;
  ASSERT_EQ(volume->lookup("/Photos/Summer Trip", trip), kOk);
  std::vector<DirEntryInfo> entries;
  ASSERT_EQ(volume->list_directory(trip.info.entry.first_cluster(), entries), kOk);
  EXPECT_EQ(names_of(entries), (std::vector<std::string>{".", "..", "Beach Day Photo.jpg"}));
  EXPECT_EQ(entries[2].entry.size, 18u);
  // The slots mtools wrote are the ones this layer would write for the same name.
  const DirEntryInfo& photo = entries[2];
  std::vector<uint8_t> cluster;
  ASSERT_EQ(volume->read_cluster(photo.cluster, cluster), kOk);
  const auto slots = long_name_slots(photo.long_name, photo.entry.name);
  ASSERT_EQ(slots.size(), 2u);
  ASSERT_GE(photo.offset, 2 * kDirEntrySize);
  EXPECT_EQ(std::memcmp(&cluster[photo.offset - 2 * kDirEntrySize], slots.data(), 2 * kDirEntrySize), 0);
}

TEST(Volume, ListsDirectoriesSpanningManyClusters) {
  const std::string image = make_image(scratch_dir());
  const std::string dir = std::filesystem::path(image).parent_path().string();
  std::string files;
  for (int i = 0; i < 120; ++i) {
    const std::string name = dir + "/Long File Name Number " + std::to_string(i) + ".data";
    std::ofstream(name) << i;
    files += " " + quote(name);
  }
  mtools(image, "mmd ::/big");
  mtools(image, "mcopy" + files + " ::/big/");
  auto volume = open_or_fail(image);
  ASSERT_TRUE(volume);
  LookupResult big;
  ASSERT_EQ(volume->lookup("/big", big), kOk);
  std::vector<uint32_t> chain;
  ASSERT_EQ(volume->cluster_chain(big.info.entry.first_cluster(), chain), kOk);
  EXPECT_GT(chain.size(), 20u);  // 122 entries with 3 slots each in 16-entry clusters
  std::vector<DirEntryInfo> entries;
  ASSERT_EQ(volume->list_directory(big.info.entry.first_cluster(), entries), kOk);
  ASSERT_EQ(entries.size(), 122u);
  EXPECT_EQ(names_of(entries)[121], "Long File Name Number 119.data");
  LookupResult last;
  EXPECT_EQ(volume->lookup("/BIG/long file name number 119.DATA", last), kOk);
}

TEST(Volume, LookupResolvesNamesWithoutRegardToCase) {
  const std::string image = make_image(scratch_dir());
  populate(image, {"Photos/", "Photos/Summer Trip/", "Photos/Summer Trip/Beach Day Photo.jpg", "notes.txt"});
  auto volume = open_or_fail(image);
  ASSERT_TRUE(volume);
  struct Case {
    const char* path;
    int32_t result;
    const char* resolved;
    bool directory;
  };
  const Case cases[] = {
      {"/", kOk, "/", true},
      {"//", kOk, "/", true},
      {"/photos", kOk, "/Photos", true},
      {"/PHOTOS/summer trip/", kOk, "/Photos/Summer Trip", true},
      {"/Photos/SUMMER~1", kOk, "/Photos/Summer Trip", true},
      {"/Photos/Summer Trip/BEACH DAY PHOTO.JPG", kOk, "/Photos/Summer Trip/Beach Day Photo.jpg", false},
      {"/Photos/Summer Trip/beachd~1.jpg", kOk, "/Photos/Summer Trip/Beach Day Photo.jpg", false},
      {"/./Photos/./Summer Trip/..", kOk, "/Photos", true},
      {"/..", kOk, "/", true},
      {"/Photos/../../notes.txt", kOk, "/notes.txt", false},
      {"/missing", kNoEntry, "", false},
      {"/Photos/missing/..", kNoEntry, "", false},
      {"/Photos/Summer", kNoEntry, "", false},
      {"/notes.txt/x", kNotDirectory, "", false},
      {"/notes.txt/..", kNotDirectory, "", false},
      {"/notes.txt/", kNotDirectory, "", false},
      {"/notes.txt//", kNotDirectory, "", false},
      {"Photos", kInvalid, "", false},
      {"", kInvalid, "", false},
  };
  for (const Case& c : cases) {
    LookupResult found;
    const int32_t rc = volume->lookup(c.path, found);
    EXPECT_EQ(rc, c.result) << c.path;
    if (rc != kOk) continue;
    EXPECT_EQ(found.path, c.resolved) << c.path;
    EXPECT_EQ(found.is_directory, c.directory) << c.path;
  }
}

TEST(Volume, BrokenChainsAreErrorsNotHangs) {
  // 24 entries: more than one 512-byte cluster, so listing the directory must follow its chain.
  const std::string image = make_image(scratch_dir());
  std::vector<std::string> tree = {"dir/"};
  for (int i = 0; i < 22; ++i) tree.push_back("dir/FILE" + std::to_string(i) + ".TXT");
  populate(image, tree);
  uint32_t dir_cluster;
  {
    auto volume = open_or_fail(image);
    ASSERT_TRUE(volume);
    LookupResult dir;
    ASSERT_EQ(volume->lookup("/dir", dir), kOk);
    dir_cluster = dir.info.entry.first_cluster();
  }
  struct Case {
    const char* what;
    uint32_t successor;
    const char* problem;
  };
  const Case cases[] = {
      {"chain loops onto itself", 0, "loops"},
      {"free successor", 0, "free cluster"},
      {"bad cluster", kFatBadCluster, "bad cluster"},
      {"successor out of range", 0x0FFFFFF0, "out of range"},
  };
  for (const Case& c : cases) {
    const uint32_t successor = std::string(c.what) == "chain loops onto itself" ? dir_cluster : c.successor;
    set_fat_entry(image, dir_cluster, successor);
    auto volume = open_or_fail(image);
    ASSERT_TRUE(volume);
    std::vector<uint32_t> chain;
    EXPECT_EQ(volume->cluster_chain(dir_cluster, chain), kIoError) << c.what;
    std::vector<DirEntryInfo> entries;
    EXPECT_EQ(volume->list_directory(dir_cluster, entries), kIoError) << c.what;
    EXPECT_NE(volume->problem().find(c.problem), std::string::npos) << c.what << ": " << volume->problem();
    LookupResult found;
    EXPECT_EQ(volume->lookup("/dir/nothing-here", found), kIoError) << c.what;
  }
}

TEST(Volume, TruncatedDataAreaIsAnErrorWhenRead) {
  const std::string image = make_image(scratch_dir());
  populate(image, {"a/", "a/b/", "a/b/c.txt"});
  auto volume = open_or_fail(image);
  ASSERT_TRUE(volume);
  LookupResult b;
  ASSERT_EQ(volume->lookup("/a/b", b), kOk);
  const uint64_t cut = volume->geometry().cluster_offset(b.info.entry.first_cluster());
  volume.reset();
  std::filesystem::resize_file(image, cut);
  volume = open_or_fail(image);
  ASSERT_TRUE(volume);
  LookupResult found;
  EXPECT_EQ(volume->lookup("/a", found), kOk);
  EXPECT_EQ(volume->lookup("/a/b/c.txt", found), kIoError);
}

}  // namespace
}  // namespace vornos::fat32
