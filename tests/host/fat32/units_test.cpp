// The pure parts: boot sector checks, the rules and what they demand, names, paths and text.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "fat32/boot_sector.h"
#include "fat32/errors.h"
#include "fat32/le.h"
#include "fat32/names.h"
#include "fat32/path.h"
#include "fat32/repair_rules.h"

namespace vornos::fat32 {
namespace {

using Bytes = std::vector<uint8_t>;

// A FAT32 boot sector as mkfs.fat writes it for a 64 MiB volume with 512-byte clusters.
Bytes good_boot_sector() {
  Bytes s(512, 0);
  store_le16(&s[11], 512), s[13] = 1, store_le16(&s[14], 32), s[16] = 2;
  store_le32(&s[32], 131072), store_le32(&s[36], 1009), store_le32(&s[44], 2), store_le16(&s[48], 1);
  store_le16(&s[50], 6), s[510] = 0x55, s[511] = 0xAA;
  return s;
}

TEST(BootSector, DerivesGeometryAndRefusesNonsense) {
  Geometry g;
  std::string problem;
  ASSERT_TRUE(parse_boot_sector(good_boot_sector(), g, problem)) << problem;
  // The offsets are read on mkfs.fat's images by every image test; here the volume's last cluster.
  EXPECT_EQ(g.cluster_count, 131072u - 2050);
  EXPECT_TRUE(g.is_data_cluster(g.cluster_count + 1) && !g.is_data_cluster(g.cluster_count + 2) && !g.is_data_cluster(1));
  const std::pair<std::function<void(Bytes&)>, const char*> cases[] = {
      {[](Bytes& s) { s[511] = 0; }, "signature"},
      {[](Bytes& s) { store_le16(&s[11], 768); }, "bytes per sector"},
      {[](Bytes& s) { s[13] = 3; }, "sectors per cluster"},
      {[](Bytes& s) { store_le16(&s[11], 4096), s[13] = 32; }, "too large"},
      {[](Bytes& s) { store_le16(&s[22], 200); }, "FAT12/FAT16"},
      {[](Bytes& s) { store_le16(&s[14], 0); }, "reserved"},
      {[](Bytes& s) { s[16] = 0; }, "number of FATs"},
      {[](Bytes& s) { store_le32(&s[36], 0); }, "FAT size is 0"},
      {[](Bytes& s) { store_le32(&s[32], 2050); }, "no room for data"},  // data would start at the end
      {[](Bytes& s) { store_le32(&s[36], 100); }, "cannot hold"},
      {[](Bytes& s) { store_le32(&s[44], 200000); }, "root directory cluster"},
      {[](Bytes& s) { store_le16(&s[40], 0x85); }, "active FAT"},
  };
  for (const auto& [damage, expected] : cases) {
    Bytes s = good_boot_sector();
    damage(s);
    EXPECT_FALSE(parse_boot_sector(s, g, problem)) << expected;
    EXPECT_NE(problem.find(expected), std::string::npos) << expected << ": " << problem;
  }
}

ShortEntry entry(uint8_t attributes, uint32_t cluster, uint32_t size) {
  ShortEntry e{};
  std::memcpy(e.name, "NAME    EXT", 11);
  e.attributes = attributes;
  e.cluster_high = static_cast<uint16_t>(cluster >> 16), e.cluster_low = static_cast<uint16_t>(cluster);
  e.size = size;
  return e;
}

TEST(RepairRules, EachRuleDemandsItsEvidence) {
  using enum DirectoryEvidence;
  struct Case { uint8_t before; uint32_t cluster, size; DirectoryEvidence dir; bool file; uint8_t after; };
  const Case cases[] = {
      {0x20, 5, 100, kNone, true, 0x20},     {0x10, 5, 0, kConsistent, false, 0x10}, {0x08, 0, 0, kNone, false, 0x08},
      {0x18, 5, 0, kConsistent, false, 0x10}, {0x9A, 5, 0, kConsistent, false, 0x92},  // R3 keeps other bits
      {0x18, 5, 0, kDotNames, false, 0x18},  {0x18, 5, 0, kNone, true, 0x18},
      {0x28, 5, 10, kNone, true, 0x20},      {0x48, 7, 9, kNone, true, 0x40},           // R4 keeps reserved bits
      {0x28, 5, 10, kNone, false, 0x28},     {0x28, 1, 0, kNone, false, 0x28},  {0x28, 5, 10, kDotNames, true, 0x28},
      {0x30, 5, 600, kNone, true, 0x20},     {0x30, 0, 0, kNone, false, 0x20},  {0x10, 0, 0, kNone, false, 0x10},
      {0x30, 5, 600, kDotNames, true, 0x30}, {0x30, 5, 600, kNone, false, 0x30}, {0x10, 0, 100, kNone, false, 0x10},
  };
  for (const Case& c : cases) {
    const AttributeRepair r = repair_short_entry(entry(c.before, c.cluster, c.size), {c.dir, c.file});
    EXPECT_EQ(r.attributes, c.after) << int(c.before) << " cluster " << c.cluster << " evidence " << int(c.dir) << c.file;
    EXPECT_EQ(r.rule != nullptr, c.before != c.after);
  }
  const std::pair<uint8_t, uint8_t> dots[] = {{0x10, 0x10}, {0x11, 0x11}, {0x00, 0x10}, {0x18, 0x10}, {0x0F, 0x17}};
  for (const auto& [before, after] : dots) EXPECT_EQ(repair_dot_entry(before).attributes, after) << int(before);
  EXPECT_EQ(repair_long_name_slot(0x8F).attributes, 0x0F);
}

TEST(RepairRules, ASlotFitsItsSequenceOrIsLeftAlone) {
  const ShortEntry e = entry(0x20, 5, 1);
  Bytes cluster(8 * kDirEntrySize, 0);
  const auto slots = long_name_slots(u"Twenty-seven characters, ok", e.name);  // three slots
  std::memcpy(&cluster[kDirEntrySize], slots.data(), 3 * kDirEntrySize);
  std::memcpy(&cluster[4 * kDirEntrySize], &e, kDirEntrySize);
  const std::pair<std::function<void(Bytes&)>, std::vector<bool>> cases[] = {
      {[](Bytes&) {}, {false, true, true, true, false}},
      {[](Bytes& b) { b[2 * 32 + 11] = 0x2F; }, {false, false, true, false, false}},
      {[](Bytes& b) { b[2 * 32 + 11] = 0x2F, b[3 * 32 + 11] = 0x4F; }, {false, false, false, false, false}},
      {[](Bytes& b) { b[4 * 32] = 'X'; }, {false, false, false, false, false}},   // checksum of another name
      {[](Bytes& b) { b[2 * 32 + 26] = 1; }, {false, false, false, false, false}},  // a cluster in a slot
      {[](Bytes& b) { b[3 * 32 + 12] = 1; }, {false, false, false, false, false}},  // a type in a slot
      {[](Bytes& b) { b[1 * 32] = 0x03; }, {false, false, false, false, false}},    // no last-part flag
      {[](Bytes& b) { b[2 * 32 + 11] = 0x2F, b[4 * 32 + 11] = 0x0E; }, {false, false, true, false, false}},
  };
  for (size_t n = 0; n < std::size(cases); ++n) {
    Bytes bytes = cluster;
    cases[n].first(bytes);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(fits_long_name_sequence(bytes, i * kDirEntrySize), cases[n].second[i]) << n << " " << i;
  }
  for (uint8_t a : {0x0F, 0x4F, 0x8F, 0x2F, 0x0E, 0x1F, 0x07}) EXPECT_TRUE(may_be_long_name_slot(a)) << int(a);
  for (uint8_t a : {0x20, 0x10, 0x08, 0x00, 0x3F}) EXPECT_FALSE(may_be_long_name_slot(a)) << int(a);
}

TEST(RepairRules, EntriesNoDriverWritesAreImplausible) {
  const std::pair<std::function<void(Bytes&)>, const char*> cases[] = {
      {[](Bytes&) {}, nullptr}, {[](Bytes& b) { b[0] = 0x05; }, nullptr},
      {[](Bytes& b) { b[11] = 0x08, b[3] = '?'; }, nullptr},  // labels may hold what names may not
      {[](Bytes& b) { b[11] = 0x08, b[3] = '?', b[26] = 5; }, "forbidden character"},  // not with a cluster
      {[](Bytes& b) { b[11] = 0x08, std::memset(b.data(), ' ', 11); }, nullptr},  // a blank label
      {[](Bytes& b) { b[11] = 0x08, b[0] = ' '; }, nullptr},                      // a label may start with one
      {[](Bytes& b) { b[11] = 0x08, std::memset(b.data(), ' ', 11), b[4] = 0x1F; }, "control character"},
      {[](Bytes& b) { b[11] = 0x08, b[0] = ' ', b[26] = 5; }, "starts with a space"},  // a file under a label bit
      {[](Bytes& b) { b[11] = 0x18, std::memset(b.data(), ' ', 11); }, "starts with a space"},  // no label: a directory
      {[](Bytes& b) { b[3] = 0x01; }, "control character"}, {[](Bytes& b) { b[3] = '*'; }, "forbidden character"},
      {[](Bytes& b) { b[0] = ' '; }, "starts with a space"}, {[](Bytes& b) { store_le16(&b[20], 1); }, "beyond the volume"},
      {[](Bytes& b) { b[11] = 0x0F, b[12] = 1; }, "zeros belong"}, {[](Bytes& b) { b[11] = 0x0F, b[26] = 1; }, "zeros belong"},
  };
  for (const auto& [change, why] : cases) {
    Bytes raw(32, 0);
    std::memcpy(raw.data(), "NAME    TXT", 11);
    raw[11] = 0x20;
    change(raw);
    const char* found = implausible_entry(raw.data(), 1000);
    EXPECT_EQ(found == nullptr, why == nullptr) << (why ? why : "plausible");
    if (found && why) EXPECT_NE(std::string(found).find(why), std::string::npos) << found;
  }
}

TEST(Names, LongNamesAndPaths) {
  ShortEntry e = entry(0x20, 0, 0);
  LongNameAssembler names;
  const auto slots = long_name_slots(u"Beach Day Photo.jpg", e.name);
  for (const auto& order : {std::vector<size_t>{0, 1}, {1}, {1, 0}}) {  // whole, first part missing, out of order
    for (size_t i : order) names.add_slot(slots[i]);
    EXPECT_EQ(names.take_name_for(e.name), order.size() == 2 && order[0] == 0 ? u"Beach Day Photo.jpg" : u"");
  }
  std::vector<std::u16string> parts;
  EXPECT_EQ(split_path("/a//b/./../caf\xC3\xA9/", parts), kOk);
  EXPECT_EQ(parts, (std::vector<std::u16string>{u"a", u"b", u".", u"..", u"caf\u00e9"}));
  for (const char* bad : {"", "a/b", "/bad\xFF", "/\xC0\xAF", "/\xED\xA0\x80"}) EXPECT_EQ(split_path(bad, parts), kInvalid) << bad;
  // A component is at most 255 UTF-16 units, counted after decoding: longer is -36, as for the file calls.
  const std::string longest = "/" + std::string(254, 'a') + "\xC3\xA9";
  EXPECT_EQ(split_path(longest + "/b", parts), kOk);
  EXPECT_EQ(split_path(longest + "a/b", parts), kNameTooLong);
  EXPECT_EQ(split_path("/b/" + std::string(256, 'a'), parts), kNameTooLong);
  EXPECT_EQ(join_path("/a", u"\U0001F600\xD800"), "/a/\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

}  // namespace
}  // namespace vornos::fat32
