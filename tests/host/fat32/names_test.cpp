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

// The slots of `name` for the short name `short_name`, in disk order (last part first).
std::vector<LongNameSlot> slots_for(const std::u16string& name, const uint8_t* short_name) {
  const size_t count = (name.size() + kCharsPerSlot - 1) / kCharsPerSlot;
  std::u16string padded = name;
  if (padded.size() < count * kCharsPerSlot) padded += u'\0';
  while (padded.size() < count * kCharsPerSlot) padded += char16_t(0xFFFF);
  std::vector<LongNameSlot> slots;
  for (size_t n = count; n >= 1; --n) {
    LongNameSlot s{};
    s.order = static_cast<uint8_t>(n | (n == count ? kLastSlotFlag : 0));
    s.attributes = attr::kLongName;
    s.checksum = short_name_checksum(short_name);
    const char16_t* c = &padded[(n - 1) * kCharsPerSlot];
    for (size_t i = 0; i < 5; ++i) store_le16(s.chars1 + 2 * i, *c++);
    for (size_t i = 0; i < 6; ++i) store_le16(s.chars2 + 2 * i, *c++);
    for (size_t i = 0; i < 2; ++i) store_le16(s.chars3 + 2 * i, *c++);
    slots.push_back(s);
  }
  return slots;
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
