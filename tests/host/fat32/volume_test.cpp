// The volume layer on images made by mkfs.fat and mtools, and on images damaged in their structure.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "fat32/errors.h"
#include "fat32/le.h"
#include "fat32/names.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;

TEST(Volume, OpenRefusesUnusableImagesWithClearMessages) {
  const std::string dir = scratch_dir();
  const std::string image = make_image(dir);
  write_file(dir + "/tiny.img", std::vector<uint8_t>(100, 0));
  write_file(dir + "/zeros.img", std::vector<uint8_t>(1 << 20, 0));
  ASSERT_EQ(run("mkfs.fat -F 16 -C " + quote(dir + "/fat16.img") + " 65536 >/dev/null"), 0);
  ASSERT_EQ(run("head -c 2097152 " + quote(image) + " >" + quote(dir + "/cut.img")), 0);
  const std::pair<std::string, std::string> cases[] = {
      {dir + "/missing.img", "cannot open " + dir + "/missing.img: No such file or directory"},
      {dir, "cannot open " + dir + ": it is a directory"},
      {dir + "/tiny.img", "not a FAT32 volume: " + dir + "/tiny.img is smaller than a boot sector"},
      {dir + "/zeros.img", "not a FAT32 volume: " + dir + "/zeros.img: boot sector signature 0x55AA is missing"},
      {dir + "/fat16.img", "not a FAT32 volume: " + dir + "/fat16.img: it is FAT12/FAT16 (16-bit FAT size or root entry count is set)"},
      {dir + "/cut.img", "not a FAT32 volume: " + dir + "/cut.img is truncated: it has 2097152 bytes, its boot sector says 34816000"},
  };
  for (const auto& [path, message] : cases) {
    std::string error;
    EXPECT_EQ(Volume::open(path, true, error), nullptr) << path;
    EXPECT_EQ(error, message);
  }
  std::string error;
  EXPECT_TRUE(Volume::open(image, true, error)->read_only());
  EXPECT_FALSE(Volume::open(image, false, error)->read_only());
  // A file that may not be written (immutable, even for root) attaches read-only.
  if (run("chattr +i " + quote(image) + " 2>/dev/null") == 0) {
    auto volume = Volume::open(image, false, error);
    run("chattr -i " + quote(image));
    ASSERT_TRUE(volume) << error;
    EXPECT_TRUE(volume->read_only());
  }
}

TEST(Volume, LooksUpPathsWithoutRegardToCase) {
  const std::string image = make_image(scratch_dir());
  populate(image, {"Photos/", "Photos/Summer Trip/", "Photos/Summer Trip/Beach Day Photo.jpg", "notes.txt"});
  std::string error;
  auto volume = Volume::open(image, true, error);
  const std::tuple<const char*, int32_t, const char*> cases[] = {
      {"//", kOk, "/"}, {"/PHOTOS/summer trip/", kOk, "/Photos/Summer Trip"},
      {"/Photos/SUMMER~1/beachd~1.jpg", kOk, "/Photos/Summer Trip/Beach Day Photo.jpg"},
      {"/./Photos/./Summer Trip/..", kOk, "/Photos"}, {"/Photos/../../notes.txt", kOk, "/notes.txt"},
      {"/Photos/missing/..", kNoEntry, ""}, {"/Photos/Summer", kNoEntry, ""}, {"/notes.txt/..", kNotDirectory, ""},
      {"/notes.txt/", kNotDirectory, ""}, {"Photos", kInvalid, ""},
  };
  for (const auto& [path, result, resolved] : cases) {
    LookupResult found;
    EXPECT_EQ(volume->lookup(path, found), result) << path;
    if (result == kOk) EXPECT_EQ(found.path, resolved) << path;
  }
  // The slots mtools wrote are the ones this layer writes for the same name.
  LookupResult photo;
  ASSERT_EQ(volume->lookup("/Photos/Summer Trip/Beach Day Photo.jpg", photo), kOk);
  const std::vector<uint8_t> bytes = read_file(image);
  const auto slots = long_name_slots(photo.info.long_name, photo.info.entry.name);
  const uint64_t at = volume->geometry().cluster_offset(photo.info.cluster) + photo.info.offset;
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_EQ(std::memcmp(&bytes[at - 2 * kDirEntrySize], slots.data(), 2 * kDirEntrySize), 0);
}

TEST(Volume, BrokenChainsAreErrorsNotHangs) {
  const std::string image = make_image(scratch_dir());
  std::vector<std::string> tree = {"dir/"};
  for (int i = 0; i < 22; ++i) tree.push_back("dir/FILE" + std::to_string(i) + ".TXT");  // two clusters
  populate(image, tree);
  const Geometry g = geometry_of(image);
  const uint32_t dir = g.root_cluster + 1;
  const std::vector<uint8_t> pristine = read_file(image);
  const std::tuple<uint32_t, std::vector<uint32_t>, const char*> cases[] = {
      {dir, {0, 1}, "loops"}, {0, {0, 1}, "a free cluster"}, {0x0FFFFFF7, {0, 1}, "a bad cluster"},
      {0x0FFFFFF0, {0, 1}, "out of range"}, {0x0FFFFFFF, {1}, "the FAT copies disagree on the cluster after 3"},
  };
  for (const auto& [successor, copies, problem] : cases) {
    write_file(image, pristine);
    set_fat(image, dir, successor, copies);
    std::string error;
    auto volume = Volume::open(image, true, error);
    std::vector<uint32_t> chain;
    std::vector<DirEntryInfo> entries;
    LookupResult found;
    EXPECT_EQ(volume->cluster_chain(dir, chain), kIoError) << problem;
    EXPECT_EQ(volume->list_directory(dir, entries), kIoError) << problem;
    EXPECT_NE(volume->problem().find(problem), std::string::npos) << volume->problem();
    EXPECT_EQ(volume->lookup("/dir/nothing-here", found), kIoError) << problem;
  }
}

}  // namespace
}  // namespace vornos::fat32
