// The rules R1-R5 as decisions on single entries, with the near cases that must stay as they are.
#include <gtest/gtest.h>

#include <cstring>

#include "fat32/repair_rules.h"

namespace vornos::fat32 {
namespace {

ShortEntry entry(uint8_t attributes, uint32_t cluster, uint32_t size) {
  ShortEntry e{};
  std::memcpy(e.name, "NAME    EXT", 11);
  e.attributes = attributes;
  e.cluster_high = static_cast<uint16_t>(cluster >> 16);
  e.cluster_low = static_cast<uint16_t>(cluster);
  e.size = size;
  return e;
}

std::string rule_of(const AttributeRepair& r) { return r.rule ? r.rule : "-"; }

TEST(RepairRules, LongNameSlotsLoseStrayHighBits) {
  EXPECT_EQ(rule_of(repair_long_name_slot(0x0F)), "-");
  for (uint8_t stray : {0x4F, 0x8F, 0xCF}) {
    const AttributeRepair r = repair_long_name_slot(stray);
    EXPECT_EQ(r.attributes, 0x0F);
    EXPECT_EQ(rule_of(r), "R1");
  }
}

TEST(RepairRules, DotEntriesBecomeDirectoriesNotLabels) {
  struct Case { uint8_t before, after; const char* rule; };
  const Case cases[] = {
      {0x10, 0x10, "-"}, {0x11, 0x11, "-"}, {0x30, 0x30, "-"}, {0x50, 0x50, "-"},
      {0x00, 0x10, "R2"}, {0x20, 0x30, "R2"}, {0x18, 0x10, "R2"}, {0x08, 0x10, "R2"},
      {0x0F, 0x17, "R2"}, {0x80, 0x90, "R2"},
  };
  for (const Case& c : cases) {
    const AttributeRepair r = repair_dot_entry(c.before);
    EXPECT_EQ(r.attributes, c.after) << int(c.before);
    EXPECT_EQ(rule_of(r), c.rule) << int(c.before);
  }
}

TEST(RepairRules, ShortEntries) {
  struct Case {
    const char* what;
    uint8_t before;
    uint32_t cluster, size;
    bool evidence;
    uint8_t after;
    const char* rule;
  };
  const Case cases[] = {
      {"plain file", 0x20, 5, 100, false, 0x20, "-"},
      {"hidden system file", 0x27, 5, 100, false, 0x27, "-"},
      {"directory", 0x10, 5, 0, true, 0x10, "-"},
      {"volume label", 0x08, 0, 0, false, 0x08, "-"},
      {"archived label", 0x28, 0, 0, false, 0x28, "-"},
      {"reserved bits on a file stay", 0x60, 5, 1, false, 0x60, "-"},
      {"R3 directory with label bit", 0x18, 5, 0, true, 0x10, "R3"},
      {"R3 keeps other bits", 0x9A, 5, 0, true, 0x92, "R3"},
      {"0x18 without evidence is left", 0x18, 5, 0, false, 0x18, "-"},
      {"R4 file hidden as a label", 0x28, 5, 10, false, 0x20, "R4"},
      {"R4 keeps reserved bits", 0x48, 7, 0, false, 0x40, "R4"},
      {"R5 file marked as directory", 0x30, 5, 600, false, 0x20, "R5"},
      {"R5 empty file marked as directory", 0x10, 0, 0, false, 0x00, "R5"},
      {"directory bit, no cluster, a size: left", 0x10, 0, 100, false, 0x10, "-"},
      {"R5 keeps other bits", 0x93, 9, 0, false, 0x83, "R5"},
  };
  for (const Case& c : cases) {
    const AttributeRepair r = repair_short_entry(entry(c.before, c.cluster, c.size), c.evidence);
    EXPECT_EQ(r.attributes, c.after) << c.what;
    EXPECT_EQ(rule_of(r), c.rule) << c.what;
  }
}

}  // namespace
}  // namespace vornos::fat32
