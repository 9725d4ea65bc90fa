// The volume layer on images made by mkfs.fat and mtools, and on images damaged in their structure.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "fat32/errors.h"
#include "fat32/le.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;

TEST(Volume, OpenRefusesUnusableImagesWithClearMessages) {
  const std::string dir = scratch_dir(), image = make_image();
  ASSERT_EQ(run("truncate -s 100 " + quote(dir + "/tiny.img") + " && truncate -s 1M " + quote(dir + "/zeros.img")), 0);
  ASSERT_EQ(run("head -c 2097152 " + quote(image) + " >" + quote(dir + "/cut.img")), 0);
  const std::pair<std::string, std::string> cases[] = {
      {dir + "/missing.img", "cannot open " + dir + "/missing.img: No such file or directory"},
      {dir, "cannot open " + dir + ": it is a directory"},
      {dir + "/tiny.img", "not a FAT32 volume: " + dir + "/tiny.img is smaller than a boot sector"},
      {dir + "/zeros.img", "not a FAT32 volume: " + dir + "/zeros.img: boot sector signature 0x55AA is missing"},
      {dir + "/cut.img", "not a FAT32 volume: " + dir + "/cut.img is truncated: it has 2097152 bytes, its boot sector says 34816000"},
  };
  for (const auto& [path, message] : cases) {
    std::string error;
    EXPECT_EQ(Volume::open(path, true, error), nullptr) << path;
    EXPECT_EQ(error, message);
  }
  std::string error;
  std::vector<uint8_t> sector;
  auto volume = Volume::open(image, true, error);
  EXPECT_EQ(volume->read_sector(volume->geometry().total_sectors, sector), kIoError);
  EXPECT_EQ(volume->problem(), "sector 68000 is out of range");
  // A file that may not be written (immutable, even for root) attaches read-only.
  if (run("chattr +i " + quote(image) + " 2>/dev/null") == 0) {
    volume = Volume::open(image, false, error);
    run("chattr -i " + quote(image));
    ASSERT_TRUE(volume) << error;
    EXPECT_TRUE(volume->read_only());
  }
  volume = Volume::open(image, false, error);  // an image cut short under a run is not extended again
  std::filesystem::resize_file(image, 1 << 20);
  EXPECT_EQ(volume->write_sector(4096, std::vector<uint8_t>(512)), kIoError);
  EXPECT_NE(volume->problem().find("cut short"), std::string::npos) << volume->problem();
  EXPECT_EQ(std::filesystem::file_size(image), 1u << 20);
}

TEST(Volume, LooksUpPathsWithoutRegardToCase) {
  const std::string image = make_tree();
  std::string error;
  auto volume = Volume::open(image, true, error);
  const std::tuple<const char*, int32_t, const char*> cases[] = {
      {"//", kOk, "/"}, {"/PHOTOS/summer trip/", kOk, "/Photos/Summer Trip"},
      {"/Photos/SUMMER~1/beachd~1.jpg", kOk, "/Photos/Summer Trip/Beach Day Photo.jpg"},
      {"/./Photos/./Summer Trip/..", kOk, "/Photos"}, {"/Photos/../../a.txt", kOk, "/a.txt"},
      {"/Photos/missing/..", kNoEntry, ""}, {"/Photos/Summer", kNoEntry, ""}, {"/a.txt/..", kNotDirectory, ""},
      {"/a.txt/", kNotDirectory, ""}, {"Photos", kInvalid, ""},
  };
  for (const auto& [path, result, resolved] : cases) {
    LookupResult found;
    EXPECT_EQ(volume->lookup(path, found), result) << path;
    if (result == kOk) EXPECT_EQ(found.path, resolved) << path;
  }
}

// Each row sets the link after the directory's first cluster in FAT copies 0 and 1. The file layer
// accepts the one disagreement a power cut between the copies' writes of a link leaves, as the chain
// without that link; the repair and a volume on its own accept none.
TEST(Volume, BrokenChainsAreErrorsNotHangs) {
  const std::string image = make_tree();  // /Big, the first directory made, spans several clusters
  const Geometry g = geometry_of(image);
  const uint32_t dir = g.root_cluster + 1, end = 0x0FFFFFFF, free = g.max_cluster();
  const std::vector<uint8_t> pristine = read_file(image);
  const uint32_t second = load_le32(&pristine[g.fat_offset(0) + 4 * dir]);
  const struct { uint32_t copy0, copy1; const char* problem; bool cut = false; uint32_t second_in_copy1 = 0; } cases[] = {
      {dir, dir, "loops"}, {0, 0, "a free cluster"}, {0x0FFFFFF7, 0x0FFFFFF7, "a bad cluster"},
      {0x0FFFFFF0, 0x0FFFFFF0, "out of range"}, {second, end, "the FAT copies disagree on the cluster after 3", true},
      {end, second, "disagree", true}, {free, end, "disagree"}, {end, 0x0FFFFFF7, "disagree"},
      {second, free, "disagree"}, {second, end, "disagree", false, free},
  };
  for (const auto& c : cases) {
    poke(image, 0, pristine);
    set_fat(image, dir, c.copy0, {0});
    set_fat(image, dir, c.copy1, {1});
    if (c.second_in_copy1 != 0) set_fat(image, second, c.second_in_copy1, {1});
    std::string error;
    auto volume = Volume::open(image, false, error);
    std::vector<uint32_t> chain;
    std::vector<DirEntryInfo> entries;
    LookupResult found;
    EXPECT_EQ(volume->cluster_chain(dir, chain), kIoError) << c.problem;
    EXPECT_EQ(volume->list_directory(dir, entries), kIoError) << c.problem;
    EXPECT_NE(volume->problem().find(c.problem), std::string::npos) << volume->problem();
    EXPECT_EQ(volume->lookup("/Big/nothing-here", found), kIoError) << c.problem;
    volume->accept_interrupted_links(true);
    EXPECT_EQ(volume->cluster_chain(dir, chain), c.cut ? kOk : kIoError) << c.copy0 << " " << c.copy1;
    if (c.cut) EXPECT_EQ(chain, std::vector<uint32_t>{dir}) << c.copy0 << " " << c.copy1;
    EXPECT_EQ(repair_dirents(*volume, "/", {}), kIoError) << c.copy0 << " " << c.copy1;
    EXPECT_TRUE(volume->accepts_interrupted_links()) << "the repair gives the file layer's setting back";
  }
}

// A run that has to wait for the image's lock says so once, naming what the holder does; one that need
// not wait says nothing. The holder here is another open of the file, as another run's would be.
TEST(Volume, WaitingForTheImageLockIsToldOnce) {
  const std::string image = make_image();
  // A writing run waiting for another writer: the end-to-end tests' (the runner's message).
  const struct { int held; bool exclusive; const char* told; } cases[] = {
      {LOCK_EX, false, "writing to it"},
      {LOCK_SH, true, "reading it"},
      {LOCK_SH, false, nullptr},
      {LOCK_UN, true, nullptr},
  };
  for (const auto& c : cases) {
    const int other = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, c.held), 0);
    std::string error;
    auto volume = Volume::open(image, !c.exclusive, error);
    ASSERT_TRUE(volume) << error;
    std::vector<std::string> told;
    volume->set_wait_notice([&](const char* holder) {
      told.push_back(holder);
      ::flock(other, LOCK_UN);  // the other run ends: the wait is over
    });
    volume->hold_for_run(c.exclusive);
    EXPECT_EQ(told, c.told ? std::vector<std::string>{c.told} : std::vector<std::string>{}) << c.held << " " << c.exclusive;
    EXPECT_NE(::flock(other, (c.exclusive ? LOCK_SH : LOCK_EX) | LOCK_NB), 0) << "the run holds the image";
    volume->release_run();
    ::close(other);
  }
}

}  // namespace
}  // namespace vornos::fat32
