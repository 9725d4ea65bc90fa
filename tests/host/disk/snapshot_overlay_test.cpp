// The copy-on-write layer: reads see the writes, the disk underneath is never written, and pages past the
// memory budget go to a temporary file that has no name.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <numeric>
#include <string>

#include "disk/snapshot_overlay.h"

namespace vornos::disk {
namespace {

constexpr size_t kPage = SnapshotOverlay::kPageBytes;

// A disk of `size` bytes whose byte i is i * 7 mod 251, and that counts its reads.
struct PatternDisk {
  std::vector<uint8_t> bytes;
  mutable size_t reads = 0;
  explicit PatternDisk(size_t size) : bytes(size) {
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 % 251);
  }
  SnapshotOverlay::BaseReader reader() const {
    return [this](uint64_t offset, std::span<uint8_t> out) {
      ++reads;
      if (offset > bytes.size() || out.size() > bytes.size() - offset) return false;
      std::memcpy(out.data(), bytes.data() + offset, out.size());
      return true;
    };
  }
};

struct Write {
  uint64_t offset;
  size_t length;
  uint8_t value;
};

struct OverlayCase {
  const char* name;
  size_t disk_size;
  size_t memory_budget;
  std::vector<Write> writes;
  uint64_t pages_in_memory, pages_spilled;
};

const OverlayCase kOverlayCases[] = {
    {"across a page boundary", 4 * kPage, 1 << 20, {{kPage - 2, 5, 0xBB}}, 2, 0},
    {"whole pages", 4 * kPage, 1 << 20, {{kPage, 2 * kPage, 0xCC}}, 2, 0},
    {"overwrites of a page kept once", 4 * kPage, 1 << 20, {{10, 4, 1}, {12, 4, 2}, {kPage - 1, 1, 3}}, 1, 0},
    {"the last, partial page of the disk", 3 * kPage + 100, 1 << 20, {{3 * kPage + 90, 10, 0xDD}}, 1, 0},
    {"pages past the budget spill", 8 * kPage, 2 * kPage, {{0, 5 * kPage, 0xEE}, {3, 2, 0x11}}, 2, 3},
    {"no memory at all", 4 * kPage, 0, {{kPage + 7, 100, 0x22}, {7, kPage, 0x33}}, 0, 2},
};

TEST(SnapshotOverlay, ReadsSeeTheWritesOverTheDisk) {
  for (const OverlayCase& c : kOverlayCases) {
    SCOPED_TRACE(c.name);
    const PatternDisk disk(c.disk_size);
    const std::vector<uint8_t> original = disk.bytes;
    SnapshotOverlay overlay(c.disk_size, c.memory_budget);
    std::vector<uint8_t> expected = original;
    for (const Write& w : c.writes) {
      const std::vector<uint8_t> data(w.length, w.value);
      ASSERT_TRUE(overlay.write(w.offset, data, disk.reader()));
      std::fill_n(expected.begin() + w.offset, w.length, w.value);
    }
    EXPECT_EQ(disk.bytes, original) << "the disk underneath was written";
    EXPECT_EQ(overlay.pages_in_memory(), c.pages_in_memory);
    EXPECT_EQ(overlay.pages_spilled(), c.pages_spilled);
    // Every read of every alignment sees the disk with the writes over it.
    for (const auto& [offset, length] : std::vector<std::pair<uint64_t, size_t>>{
             {0, c.disk_size}, {1, c.disk_size - 1}, {kPage - 3, kPage + 6}, {c.disk_size - 1, 1}, {5, 0}}) {
      std::vector<uint8_t> out(length, 0x5A);
      ASSERT_TRUE(overlay.read(offset, out, disk.reader()));
      EXPECT_TRUE(std::equal(out.begin(), out.end(), expected.begin() + offset)) << "at " << offset << " +" << length;
    }
  }
}

TEST(SnapshotOverlay, RangesPastTheEndAndPartialPagesOfAFailingDiskAreRefused) {
  const PatternDisk disk(2 * kPage);
  SnapshotOverlay overlay(2 * kPage);
  const SnapshotOverlay::BaseReader fails = [](uint64_t, std::span<uint8_t>) { return false; };
  std::vector<uint8_t> two(2);
  EXPECT_FALSE(overlay.write(2 * kPage - 1, two, disk.reader()));
  EXPECT_FALSE(overlay.read(2 * kPage - 1, two, disk.reader()));
  EXPECT_FALSE(overlay.write(UINT64_MAX, two, disk.reader()));
  EXPECT_FALSE(overlay.write(10, two, fails));
  EXPECT_FALSE(overlay.written());
}

TEST(SnapshotOverlay, AWholePageWriteReadsNothingAndUnwrittenRunsAreReadTogether) {
  const PatternDisk disk(16 * kPage);
  SnapshotOverlay overlay(16 * kPage);
  std::vector<uint8_t> page(kPage, 1);
  ASSERT_TRUE(overlay.write(4 * kPage, page, disk.reader()));
  EXPECT_EQ(disk.reads, 0u);
  std::vector<uint8_t> all(16 * kPage);
  ASSERT_TRUE(overlay.read(0, all, disk.reader()));
  EXPECT_EQ(disk.reads, 2u);  // pages 0-3 and 5-15
}

TEST(SnapshotOverlay, TheSpillFileHasNoNameAndGoesWithTheLayer) {
  const PatternDisk disk(4 * kPage);
  char directory[] = "/tmp/overlay-test-XXXXXX";
  ASSERT_NE(::mkdtemp(directory), nullptr);
  int descriptor = -1;
  {
    SnapshotOverlay overlay(4 * kPage, 0, directory);
    std::vector<uint8_t> page(kPage, 3);
    ASSERT_TRUE(overlay.write(0, page, disk.reader()));
    descriptor = overlay.spill_descriptor();
    ASSERT_GE(descriptor, 0);
    char target[512] = {};
    ASSERT_GT(::readlink(("/proc/self/fd/" + std::to_string(descriptor)).c_str(), target, sizeof target - 1), 0);
    EXPECT_NE(std::string(target).find("(deleted)"), std::string::npos) << target;
  }
  EXPECT_EQ(::fcntl(descriptor, F_GETFD), -1) << "the spill file outlived its layer";
  EXPECT_EQ(::rmdir(directory), 0) << "the directory was left with files in it";
}

TEST(SnapshotOverlay, ASpillDirectoryThatCannotHoldFilesFailsTheWrite) {
  const PatternDisk disk(4 * kPage);
  SnapshotOverlay overlay(4 * kPage, 0, "/nonexistent-directory-for-the-test");
  std::vector<uint8_t> page(kPage, 3);
  EXPECT_FALSE(overlay.write(0, page, disk.reader()));
  std::vector<uint8_t> out(kPage);
  ASSERT_TRUE(overlay.read(0, out, disk.reader()));
  EXPECT_EQ(out[1], disk.bytes[1]);
}

}  // namespace
}  // namespace vornos::disk
