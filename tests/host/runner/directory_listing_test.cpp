// Reading a directory descriptor: whole records, one per entry of a volume written by mkfs.fat and
// mtools, in directory order, with names, sizes, attributes, dates and serials; a short count at
// the end, 0 after it, and a new listing after a seek to the start.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../fat32/test_images.h"
#include "fat32_fs/directory_records.h"
#include "base/error_codes.h"
#include "fat32_fs/fat32_file_system.h"
#include "vfs/volume_file.h"
#include "fat32/dir_entry.h"

namespace vornos::kernel {
namespace {

using fat32::test::quote;
using fat32::test::run;

// An image with a label, nested directories, long and short names, an empty file and a
// read-only one, the files dated 2021-03-04 05:06:08 by mcopy -m under UTC.
std::string make_listing_image() {
  const std::string image = fat32::test::make_image("listing.img");
  const std::string dir = fat32::test::scratch_dir();
  const std::string i = " -i " + quote(image) + " ";
  const std::string command =
      "cd " + quote(dir) + " && export TZ=UTC && fatlabel " + quote(image) + " MYCARD && " +
      "printf 'twelve bytes' >twelve && : >empty && " +
      "touch -d '2021-03-04 05:06:08' twelve empty && " +
      "mmd" + i + "::/Docs ::/Docs/Letters && " +
      "mcopy -m" + i + "twelve '::/Docs/A Long Mixed Name.txt' && " +
      "mcopy -m" + i + "empty ::/Docs/EMPTY.TXT && " +
      "mcopy -m" + i + "twelve ::/Docs/Letters/x.c && " +
      "mcopy -m" + i + "twelve ::/top.txt && mattrib" + i + "+r ::/top.txt";
  EXPECT_EQ(run(command + " >/dev/null 2>&1"), 0);
  return image;
}

struct Opened {
  explicit Opened(const std::string& image) {
    std::string error;
    file_system = Fat32FileSystem::open(image, {}, error);
    EXPECT_TRUE(file_system) << error;
  }
  // A descriptor's open file on `path`, as open() makes it for reading.
  std::unique_ptr<VolumeFile> open(const std::string& path) {
    NodeInfo node;
    EXPECT_EQ(file_system->open(path, {}, node), 0) << path;
    return std::make_unique<VolumeFile>(*file_system, node, VolumeFile::Mode{});
  }
  std::unique_ptr<Fat32FileSystem> file_system;
};

// Every record a descriptor gives, read `per_read` at a time; the last read answers 0.
std::vector<DirectoryRecord> read_all(VolumeFile& file, size_t per_read) {
  std::vector<DirectoryRecord> all;
  std::vector<DirectoryRecord> buffer(per_read);
  for (int i = 0; i < 100; ++i) {
    const int32_t got = file.read(std::as_writable_bytes(std::span(buffer)));
    EXPECT_GE(got, 0);
    EXPECT_EQ(got % kDirectoryRecordSize, 0u);
    if (got <= 0) break;
    all.insert(all.end(), buffer.begin(), buffer.begin() + got / kDirectoryRecordSize);
  }
  return all;
}

std::vector<std::string> names(const std::vector<DirectoryRecord>& records) {
  std::vector<std::string> out;
  for (const DirectoryRecord& r : records) out.emplace_back(r.name, r.name_length);
  return out;
}

const DirectoryRecord* find(const std::vector<DirectoryRecord>& records, const std::string& name) {
  for (const DirectoryRecord& r : records) {
    if (std::string(r.name, r.name_length) == name) return &r;
  }
  return nullptr;
}

constexpr int32_t kMarch4th2021 = 1614834368;  // 2021-03-04 05:06:08 as seconds since 1970

TEST(DirectoryListing, RecordsOfEveryEntryInOrderWithoutLabelOrSlotsAndOneSerialPerDirectory) {
  Opened volume(make_listing_image());
  auto root = volume.open("/");
  const std::vector<DirectoryRecord> top = read_all(*root, 1);
  EXPECT_EQ(names(top), (std::vector<std::string>{"Docs", "top.txt"}));  // no label, no "." in the root
  auto docs = volume.open("/DOCS");
  const std::vector<DirectoryRecord> inside = read_all(*docs, 3);
  EXPECT_EQ(names(inside), (std::vector<std::string>{".", "..", "Letters", "A Long Mixed Name.txt", "EMPTY.TXT"}));
  const struct {
    const std::vector<DirectoryRecord>* listing;
    const char* name;
    uint32_t size;
    uint8_t attributes;  // those mtools gives: 0x20 archive, 0x01 read-only, 0x10 directory
    bool dated;
  } rows[] = {
      {&top, "top.txt", 12, 0x21, true},   {&top, "Docs", 0, 0x10, false},
      {&inside, "A Long Mixed Name.txt", 12, 0x20, true}, {&inside, "EMPTY.TXT", 0, 0x20, true},
      {&inside, ".", 0, 0x10, false},      {&inside, "..", 0, 0x10, false},
  };
  for (const auto& row : rows) {
    const DirectoryRecord* r = find(*row.listing, row.name);
    ASSERT_NE(r, nullptr) << row.name;
    EXPECT_EQ(r->size, row.size) << row.name;
    EXPECT_EQ(r->attributes, row.attributes) << row.name;
    if (row.dated) {
      EXPECT_EQ(r->modified, kMarch4th2021) << row.name;
    }
    EXPECT_EQ(r->name[r->name_length], '\0');
    EXPECT_EQ(r->reserved, 0);
  }
  // Serials: a directory has one wherever it is seen from; the root's "." is not listed, but the top
  // directories' ".." name it; files differ from all.
  const auto letters = read_all(*volume.open("/Docs/Letters"), 4);
  EXPECT_EQ(find(top, "Docs")->serial, find(inside, ".")->serial);
  EXPECT_EQ(find(inside, "Letters")->serial, find(letters, ".")->serial);
  EXPECT_EQ(find(letters, "..")->serial, find(inside, ".")->serial);
  EXPECT_NE(find(inside, "..")->serial, find(inside, ".")->serial);
  std::vector<uint64_t> files = {find(top, "top.txt")->serial, find(inside, "A Long Mixed Name.txt")->serial,
                                 find(inside, "EMPTY.TXT")->serial, find(letters, "x.c")->serial,
                                 find(inside, ".")->serial, find(letters, ".")->serial, find(inside, "..")->serial};
  std::sort(files.begin(), files.end());
  EXPECT_EQ(std::adjacent_find(files.begin(), files.end()), files.end());
}

TEST(DirectoryListing, ShortCountAtTheEndThenZeroAndAFreshListingFromTheStart) {
  const std::string image = make_listing_image();
  Opened volume(image);
  auto docs = volume.open("/Docs");
  std::vector<DirectoryRecord> buffer(4);
  auto bytes = std::as_writable_bytes(std::span(buffer));
  EXPECT_EQ(docs->read(bytes.first(kDirectoryRecordSize - 1)), kInvalidArgument);  // less than one record
  EXPECT_EQ(docs->read(bytes.first(0)), kInvalidArgument);
  EXPECT_EQ(docs->read(bytes.first(2 * kDirectoryRecordSize + 100)), int32_t(2 * kDirectoryRecordSize));
  EXPECT_EQ(docs->read(bytes), int32_t(3 * kDirectoryRecordSize));  // the 5 entries end: 3 of 4
  EXPECT_EQ(std::string(buffer[2].name), "EMPTY.TXT");
  EXPECT_EQ(docs->read(bytes), 0);
  EXPECT_EQ(docs->read(bytes), 0);
  // A file made meanwhile appears once the descriptor starts again.
  NodeInfo made;
  ASSERT_EQ(volume.file_system->open("/Docs/later.txt", {.write = true, .create = true}, made), 0);
  EXPECT_EQ(docs->seek(0, 0), 0);
  EXPECT_EQ(names(read_all(*docs, 2)).back(), "later.txt");
  // A descriptor that seeks past the first record before its first read still lists.
  auto skipping = volume.open("/Docs");
  EXPECT_EQ(skipping->seek(int32_t(2 * kDirectoryRecordSize), 0), int32_t(2 * kDirectoryRecordSize));
  EXPECT_EQ(skipping->read(bytes.first(kDirectoryRecordSize)), int32_t(kDirectoryRecordSize));
  EXPECT_EQ(std::string(buffer[0].name), "Letters");
  // A position left inside a record reads that record again, whole.
  docs->set_position(kDirectoryRecordSize + 5);
  EXPECT_EQ(docs->read(bytes.first(kDirectoryRecordSize)), int32_t(kDirectoryRecordSize));
  EXPECT_EQ(std::string(buffer[0].name), "..");
}

TEST(DirectoryRecords, DatesAsTheVolumeStoresThem) {
  const struct { uint16_t date, time; int32_t seconds; } rows[] = {
      {(41 << 9) | (3 << 5) | 4, (5 << 11) | (6 << 5) | 4, kMarch4th2021},
      {(0 << 9) | (1 << 5) | 1, 0, 315532800},                      // 1980-01-01, the first day
      {(20 << 9) | (2 << 5) | 29, (23 << 11) | (59 << 5) | 29, 951868798},  // 2000-02-29 23:59:58
      {(127 << 9) | (12 << 5) | 31, 0, INT32_MAX},                  // 2107 is past 2038
      {(1 << 5) | 0, 0, 0}, {(13 << 5) | 1, 0, 0},      // no day, month 13
  };
  for (const auto& row : rows) EXPECT_EQ(seconds_since_1970(row.date, row.time), row.seconds) << row.date;
}

}  // namespace
}  // namespace vornos::kernel
