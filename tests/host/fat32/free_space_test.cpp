// Free space on images made by mkfs.fat and mtools: FSInfo's count and next-free hint as hints, kept
// exactly as true as they were, allocation that reads the FAT only as far as it must, and a full volume
// that refuses whatever FSInfo says. Judged by the FAT itself and by fsck.fat -n.
#include <gtest/gtest.h>

#include <functional>

#include "fat32/errors.h"
#include "fat32/fsinfo.h"
#include "fat32/le.h"
#include "fat32/mount.h"
#include "mounted.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;

uint64_t fsinfo_offset(const std::string& image) { return uint64_t{geometry_of(image).fsinfo_sector} * 512; }

FsInfoHints fsinfo_of(const std::string& image) {
  const Bytes bytes = read_file(image);
  return read_fsinfo_hints(std::span(bytes).subspan(fsinfo_offset(image), 512));
}

void set_fsinfo(const std::string& image, FsInfoHints hints) {
  Bytes sector(512);
  store_fsinfo_hints(sector, hints);
  poke(image, fsinfo_offset(image) + 488, Bytes(sector.begin() + 488, sector.begin() + 496));
}

// Free clusters as the first FAT says.
uint32_t counted_free(const std::string& image) {
  const Geometry g = geometry_of(image);
  const Bytes bytes = read_file(image);
  uint32_t free = 0;
  for (uint32_t c = 2; c <= g.max_cluster(); ++c) free += (load_le32(&bytes[g.fat_offset(0) + 4 * uint64_t{c}]) & kFatEntryMask) == 0;
  return free;
}

// fsck.fat -n's findings but its view of FSInfo's count, which the tests judge by themselves.
std::vector<std::string> fsck_but_the_count(const std::string& image) {
  std::vector<std::string> lines = fsck(image);
  std::erase_if(lines, [](const std::string& line) {
    return line.starts_with("Free cluster summary") || line == "  Auto-correcting." || line == "Leaving filesystem unchanged.";
  });
  return lines;
}

// One run of every kind of call that takes or frees clusters, after a first small file. The count FSInfo
// held is then as true as it was: right stays right, wrong by some clusters stays wrong by as many, and
// one that cannot be believed (unknown, more than the volume has, or proved wrong by the run) is unknown
// or right afterwards, never wrong. The next-free
// hint, where it names a data cluster, is where the first allocation looks first, and a small write reads
// the FAT only around a trusted hint: its cost follows the write, not the size of the volume.
TEST(FreeSpace, FsInfoStaysAsTrueAsItWas) {
  const std::string base = make_image("base.img"), image = scratch_dir() + "/run.img";
  populate(base, {"old.txt", "Dir/", "Dir/inner.txt", "Empty/"});
  const Geometry g = geometry_of(base);
  const uint32_t truth = counted_free(base);
  ASSERT_EQ(fsinfo_of(base).free_clusters, truth) << "mkfs.fat and mtools keep the count right";
  constexpr uint32_t kMiddle = 40000, kUnknown = kUnknownHint;
  enum class After { kRight, kSevenShort, kUnknownOrRight };
  const struct { const char* what; uint32_t free, next; After after; uint32_t first; } rows[] = {
      {"right, hint at the first free", truth, 2, After::kRight, 0},
      {"right, hint in the middle", truth, kMiddle, After::kRight, kMiddle},
      {"seven too few", truth - 7, kMiddle, After::kSevenShort, kMiddle},
      {"unknown count and hint", kUnknown, kUnknown, After::kUnknownOrRight, 0},
      {"more than the volume has", g.cluster_count + 1, kMiddle, After::kUnknownOrRight, kMiddle},
      {"none free, though there are", 0, kMiddle, After::kUnknownOrRight, kMiddle},
      {"hint past the volume", truth, g.max_cluster() + 1, After::kRight, 0},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(run("cp --sparse=always " + quote(base) + " " + quote(image)), 0);
    set_fsinfo(image, {row.free, row.next});
    {
      Attached r(image);
      ASSERT_EQ(r.mount->replace("/first.txt", text("first")), kOk) << row.what;
      Node node;
      ASSERT_EQ(r.mount->lookup("/first.txt", node), kOk);
      if (row.first != 0) EXPECT_EQ(node.first_cluster, row.first) << row.what;
      if (row.first != 0 && row.after == After::kRight) {  // a trusted hint: the chunks around it, not the table
        EXPECT_LT(r.volume->io_stats().bytes_read, uint64_t{g.cluster_count + 2} * 4 / 2) << row.what;
      }
      ASSERT_EQ(r.mount->replace("/old.txt", pattern(3000, 1)), kOk) << row.what;  // frees one, takes six
      ASSERT_EQ(r.create("/grown.bin", pattern(700, 2)), 700) << row.what;
      ASSERT_EQ(r.mount->lookup("/grown.bin", node), kOk);
      ASSERT_EQ(r.mount->write(node.id, 5000, text("tail")), 4) << row.what;
      ASSERT_EQ(r.mount->mkdir("/New"), kOk) << row.what;
      ASSERT_EQ(r.mount->rmdir("/Empty"), kOk) << row.what;
      ASSERT_EQ(r.mount->unlink("/Dir/inner.txt"), kOk) << row.what;
      ASSERT_EQ(r.mount->truncate(node.id), kOk) << row.what;
      ASSERT_EQ(r.mount->detach(), kOk) << row.what;
    }
    const uint32_t now = counted_free(image);
    EXPECT_NE(now, truth) << row.what << ": the run should change the count";
    const uint32_t stored = fsinfo_of(image).free_clusters;
    if (row.after == After::kUnknownOrRight) {
      EXPECT_TRUE(stored == kUnknown || stored == now) << row.what << ": " << stored << " of " << now;
    } else {
      EXPECT_EQ(stored, row.after == After::kRight ? now : now - 7) << row.what;
    }
    EXPECT_EQ(fsck_but_the_count(image), kNoProblems) << row.what;
    if (row.after == After::kRight) EXPECT_EQ(fsck(image), kNoProblems) << row.what;
  }
}

// A full volume refuses every call that needs a cluster (-28), with the old file intact and nothing
// written, whatever FSInfo says; the scan that found no room knows the count, and the next write of the
// run makes FSInfo right.
TEST(FreeSpace, AFullVolumeRefusesWhateverFsInfoSays) {
  const std::string base = make_image("base.img"), image = scratch_dir() + "/run.img";
  const Bytes old = pattern(3000, 1);
  {
    Attached r(base);
    ASSERT_EQ(r.mount->replace("/old.txt", old), kOk);
    ASSERT_EQ(r.mount->replace("/remove.me", text("frees one cluster")), kOk);
    const size_t room = size_t{fsinfo_of(base).free_clusters} * 512;
    // One cluster too large: refused, and every cluster it took given back, or /fill would not fit.
    ASSERT_EQ(r.mount->replace("/old.txt", pattern(room + 1, 2)), kNoSpace);
    ASSERT_EQ(r.mount->replace("/fill", pattern(room, 3)), kOk);
  }
  ASSERT_EQ(counted_free(base), 0u);
  const struct { const char* what; FsInfoHints hints; } rows[] = {
      {"right: none free", {0, 2}},
      {"a thousand free, hint in the middle", {1000, 40000}},
      {"unknown", {kUnknownHint, kUnknownHint}},
      {"more than the volume has", {0x10000000, 40000}},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(run("cp --sparse=always " + quote(base) + " " + quote(image)), 0);
    set_fsinfo(image, row.hints);
    const Bytes before = read_file(image);
    {
      Attached r(image);
      Node node;
      ASSERT_EQ(r.mount->lookup("/old.txt", node), kOk);
      EXPECT_EQ(r.mount->write(node.id, 3072, text("x")), kNoSpace) << row.what;
      EXPECT_EQ(r.mount->replace("/old.txt", text("y")), kNoSpace) << row.what;
      EXPECT_EQ(r.mount->replace("/new.txt", text("z")), kNoSpace) << row.what;
      EXPECT_EQ(r.mount->mkdir("/more"), kNoSpace) << row.what;
      const int32_t stream = r.mount->begin_replace("/old.txt");
      EXPECT_EQ(r.mount->append(stream, pattern(2 << 20, 4)), kNoSpace) << row.what;
      EXPECT_EQ(r.mount->abandon(stream), kOk);
      EXPECT_EQ(r.read_all("/old.txt"), old) << row.what;
    }
    EXPECT_EQ(read_file(image), before) << row.what << ": a refused call wrote something";
    {
      Attached r(image);
      EXPECT_EQ(r.mount->replace("/old.txt", text("y")), kNoSpace) << row.what;
      ASSERT_EQ(r.mount->unlink("/remove.me"), kOk) << row.what;
      ASSERT_EQ(r.mount->replace("/old.txt", text("now it fits")), kOk) << row.what;
    }
    EXPECT_EQ(fsinfo_of(image).free_clusters, counted_free(image)) << row.what;
    EXPECT_EQ(text(mtools_output("mtype", image, "/old.txt")), text("now it fits")) << row.what;
    EXPECT_EQ(fsck(image), kNoProblems) << row.what;
  }
}

}  // namespace
}  // namespace vornos::fat32
