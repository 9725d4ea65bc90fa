// Short-name display and long-name assembly from slots.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fat32/le.h"
#include "fat32/names.h"

namespace vornos::fat32 {
namespace {

ShortEntry short_entry(const char (&name)[12], uint8_t nt_case = 0) {
  ShortEntry e{};
  std::memcpy(e.name, name, 11);
  e.nt_case = nt_case;
  return e;
}

std::vector<LongNameSlot> slots_for(const std::u16string& name, const uint8_t* short_name) {
  return long_name_slots(name, short_name);
}

TEST(ShortName, ShowsNameAndExtensionAsUsersSeeThem) {
  EXPECT_EQ(short_name_text(short_entry("README  TXT")), u"README.TXT");
  EXPECT_EQ(short_name_text(short_entry("MAKEFILE   ")), u"MAKEFILE");
  EXPECT_EQ(short_name_text(short_entry("README  TXT", 0x08)), u"readme.TXT");
  EXPECT_EQ(short_name_text(short_entry("README  TXT", 0x18)), u"readme.txt");
  EXPECT_EQ(short_name_text(short_entry("\x05" "BC     TXT")), u"\u00e5BC.TXT");
  EXPECT_EQ(short_name_text(short_entry("A B     C  ")), u"A B.C");
}

TEST(LongName, AssemblesSlotsInDiskOrder) {
  const ShortEntry e = short_entry("BEACHD~1JPG");
  LongNameAssembler names;
  for (const std::u16string name : {u"Beach Day Photo.jpg", u"abc", u"exactly13char", u"twenty-six characters, ok"}) {
    for (const LongNameSlot& s : slots_for(name, e.name)) names.add_slot(s);
    EXPECT_EQ(names.take_name_for(e.name), name);
  }
  const std::u16string longest(255, u'x');
  for (const LongNameSlot& s : slots_for(longest, e.name)) names.add_slot(s);
  EXPECT_EQ(names.take_name_for(e.name), longest);
}

TEST(LongName, SlotsAreLaidOutAsWritersDo) {
  const ShortEntry e = short_entry("ABCDEF~1TXT");
  const auto slots = long_name_slots(u"abcdefghijklmnopq.txt", e.name);  // 21 characters: two slots
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_EQ(slots[0].order, 0x42);
  EXPECT_EQ(slots[1].order, 0x01);
  for (const LongNameSlot& s : slots) {
    EXPECT_EQ(s.attributes, 0x0F);
    EXPECT_EQ(s.type, 0);
    EXPECT_EQ(s.first_cluster, 0);
  }
  // Second part: "nopq.txt", then 0x0000, then 0xFFFF up to 13 characters.
  EXPECT_EQ(load_le16(slots[0].chars1), u'n');
  EXPECT_EQ(load_le16(slots[0].chars1 + 8), u'.');
  EXPECT_EQ(load_le16(slots[0].chars2 + 4), u't');
  EXPECT_EQ(load_le16(slots[0].chars2 + 6), 0x0000);
  EXPECT_EQ(load_le16(slots[0].chars2 + 8), 0xFFFF);
  EXPECT_EQ(load_le16(slots[0].chars3), 0xFFFF);
  EXPECT_EQ(load_le16(slots[0].chars3 + 2), 0xFFFF);
  EXPECT_EQ(load_le16(slots[1].chars1), u'a');
  EXPECT_EQ(load_le16(slots[1].chars3 + 2), u'm');
  // A name of exactly 13 characters has neither terminator nor padding.
  const auto full = long_name_slots(u"exactly13char", e.name);
  ASSERT_EQ(full.size(), 1u);
  EXPECT_EQ(load_le16(full[0].chars3 + 2), u'r');
  EXPECT_TRUE(long_name_slots(u"", e.name).empty());
  EXPECT_TRUE(long_name_slots(std::u16string(256, u'x'), e.name).empty());
}

TEST(LongName, OrphanSlotsGiveNoName) {
  const ShortEntry e = short_entry("BEACHD~1JPG");
  const ShortEntry other = short_entry("OTHER   JPG");
  LongNameAssembler names;
  auto slots = slots_for(u"Beach Day Photo.jpg", e.name);
  ASSERT_EQ(slots.size(), 2u);

  for (const LongNameSlot& s : slots) names.add_slot(s);
  EXPECT_EQ(names.take_name_for(other.name), u"") << "checksum of another short name";

  names.add_slot(slots[1]);
  EXPECT_EQ(names.take_name_for(e.name), u"") << "first slot missing";

  names.add_slot(slots[0]);
  EXPECT_EQ(names.take_name_for(e.name), u"") << "last slot missing";

  names.add_slot(slots[1]);
  names.add_slot(slots[0]);
  EXPECT_EQ(names.take_name_for(e.name), u"") << "slots out of order";

  auto mixed = slots;
  mixed[1].checksum ^= 1;
  for (const LongNameSlot& s : mixed) names.add_slot(s);
  EXPECT_EQ(names.take_name_for(e.name), u"") << "slots with different checksums";

  LongNameSlot bad_order = slots[0];
  bad_order.order = kLastSlotFlag | 21;
  names.add_slot(bad_order);
  EXPECT_EQ(names.take_name_for(e.name), u"") << "order beyond 20";

  for (const LongNameSlot& s : slots) names.add_slot(s);
  names.reset();
  EXPECT_EQ(names.take_name_for(e.name), u"") << "reset between slots and entry";

  for (const LongNameSlot& s : slots) names.add_slot(s);
  EXPECT_EQ(names.take_name_for(e.name), u"Beach Day Photo.jpg") << "a good sequence after orphans";
  EXPECT_EQ(names.take_name_for(e.name), u"") << "a name is taken once";
}

}  // namespace
}  // namespace vornos::fat32
