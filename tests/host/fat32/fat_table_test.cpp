// The FAT cache on images made by mkfs.fat and mtools: every entry of every copy as the image holds it,
// never more chunks held than its cap, dropped chunks read again, copies that agree kept once.
#include <gtest/gtest.h>

#include "fat32/fat_table.h"
#include "fat32/le.h"
#include "mounted.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;

struct OpenTable {
  OpenTable(const std::string& image, size_t max_chunks) : geometry(geometry_of(image)) {
    std::string error;
    EXPECT_TRUE(file.open(image, true, error)) << error;
    table = std::make_unique<FatTable>(file, geometry, max_chunks);
  }
  ImageFile file;
  Geometry geometry;
  std::unique_ptr<FatTable> table;
};

TEST(FatTable, HoldsAtMostItsCapAndReadsEveryEntryRight) {
  const std::string image = make_image();
  populate(image, {"a.txt", "Dir/", "Dir/b.txt"});
  const Geometry g = geometry_of(image);
  ASSERT_GT(g.cluster_count / FatTable::kEntriesPerChunk, 6u) << "the image must hold more chunks than the cap";
  constexpr uint32_t kDiffers = 20000;  // copy 1 alone links it
  set_fat(image, kDiffers, 0x0FFFFFFF, {1});
  const Bytes bytes = read_file(image);
  auto stored = [&](uint32_t copy, uint32_t cluster) {
    return load_le32(&bytes[g.fat_offset(copy) + 4 * uint64_t{cluster}]) & kFatEntryMask;
  };
  for (const size_t cap : {size_t{4}, FatTable::kDefaultMaxChunks}) {
    OpenTable t(image, cap);
    for (int pass = 0; pass < 2; ++pass) {  // the second pass reads again what the cap dropped
      for (uint32_t cluster = 0; cluster <= g.max_cluster(); cluster += 97) {
        for (uint32_t copy = 0; copy < g.fat_count; ++copy) {
          uint32_t value = ~0u;
          ASSERT_TRUE(t.table->entry_in_copy(copy, cluster, value)) << cluster;
          EXPECT_EQ(value, stored(copy, cluster)) << "copy " << copy << ", cluster " << cluster << ", cap " << cap;
          EXPECT_LE(t.table->chunks_held(), cap);
        }
      }
    }
    uint32_t value = 0;
    EXPECT_FALSE(t.table->entry(g.max_cluster() + 1, value)) << "past the table";
    for (uint32_t copy = 0; copy < g.fat_count; ++copy) {
      EXPECT_TRUE(t.table->entry_in_copy(copy, kDiffers, value));
      EXPECT_TRUE(t.table->entry_in_copy(copy, 100, value));
    }
    EXPECT_FALSE(t.table->copies_agree_at(kDiffers));
    EXPECT_TRUE(t.table->copies_agree_at(100));
  }
  OpenTable small(image, 4), whole(image, FatTable::kDefaultMaxChunks);
  for (OpenTable* t : {&small, &whole}) {
    uint32_t value = 0;
    for (uint32_t cluster = 0; cluster <= g.max_cluster(); cluster += FatTable::kEntriesPerChunk) t->table->entry(cluster, value);
    const uint64_t before = t->file.stats().bytes_read;
    EXPECT_TRUE(t->table->entry(0, value));
    EXPECT_EQ(t->file.stats().bytes_read - before, t == &small ? FatTable::kChunkBytes : 0) << "the first chunk read again";
  }
}

// A mirrored copy that holds the active copy's bytes is kept once, until a change to either of them;
// once they differ, a change to one still leaves the other as it was.
TEST(FatTable, CopiesThatAgreeAreHeldOnceUntilOneChanges) {
  const std::string image = make_image();
  for (const uint32_t changed : {0u, 1u}) {
    const uint32_t other = 1 - changed;
    OpenTable t(image, 4);
    uint32_t value = 0;
    EXPECT_TRUE(t.table->entry_in_copy(0, 100, value));
    EXPECT_TRUE(t.table->entry_in_copy(1, 100, value));
    EXPECT_EQ(t.table->chunks_held(), 1u);
    EXPECT_TRUE(t.table->copies_agree_at(100));
    t.table->remember(changed, 100, 0x0FFFFFFF);
    EXPECT_EQ(t.table->chunks_held(), 2u) << changed;
    EXPECT_FALSE(t.table->copies_agree_at(100));
    EXPECT_TRUE(t.table->entry_in_copy(changed, 100, value));
    EXPECT_EQ(value, 0x0FFFFFFFu) << changed;
    EXPECT_TRUE(t.table->entry_in_copy(other, 100, value));
    EXPECT_EQ(value, 0u) << changed;
    t.table->remember(other, 100, 7);
    EXPECT_TRUE(t.table->entry_in_copy(changed, 100, value));
    EXPECT_EQ(value, 0x0FFFFFFFu) << changed << ": the copies differed already";
  }
}

}  // namespace
}  // namespace vornos::fat32
