// Short-name display and long-name assembly.
#include "fat32/names.h"

#include "fat32/le.h"

namespace vornos::fat32 {

uint8_t short_name_checksum(const uint8_t* short_name) {
  uint8_t sum = 0;
  for (size_t i = 0; i < kShortNameSize; ++i) {
    sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + short_name[i]);
  }
  return sum;
}

std::u16string short_name_text(const ShortEntry& entry, const CodePage& page) {
  auto part = [&](size_t from, size_t to, bool lower) {
    size_t end = to;
    while (end > from && entry.name[end - 1] == ' ') --end;
    std::u16string text;
    for (size_t i = from; i < end; ++i) {
      uint8_t byte = entry.name[i];
      if (i == 0 && byte == kEscapedE5Mark) byte = 0xE5;
      text += page.decode(lower ? page.lower(byte) : byte);
    }
    return text;
  };
  std::u16string text = part(0, 8, entry.nt_case & kLowerCaseBase);
  const std::u16string extension = part(8, 11, entry.nt_case & kLowerCaseExtension);
  if (!extension.empty()) text += u'.' + extension;
  return text;
}

std::vector<LongNameSlot> long_name_slots(std::u16string_view name, const uint8_t* short_name) {
  std::vector<LongNameSlot> slots;
  if (name.empty() || name.size() > kMaxLongNameLength) return slots;
  const size_t count = (name.size() + kCharsPerSlot - 1) / kCharsPerSlot;
  std::u16string chars(name);
  if (chars.size() < count * kCharsPerSlot) chars += u'\0';
  chars.resize(count * kCharsPerSlot, char16_t(0xFFFF));
  const uint8_t checksum = short_name_checksum(short_name);
  for (size_t n = count; n >= 1; --n) {
    LongNameSlot slot{};
    slot.order = static_cast<uint8_t>(n | (n == count ? kLastSlotFlag : 0));
    slot.attributes = attr::kLongName;
    slot.checksum = checksum;
    const char16_t* c = &chars[(n - 1) * kCharsPerSlot];
    for (size_t i = 0; i < 5; ++i) store_le16(slot.chars1 + 2 * i, *c++);
    for (size_t i = 0; i < 6; ++i) store_le16(slot.chars2 + 2 * i, *c++);
    for (size_t i = 0; i < 2; ++i) store_le16(slot.chars3 + 2 * i, *c++);
    slots.push_back(slot);
  }
  return slots;
}

void LongNameAssembler::add_slot(const LongNameSlot& slot) {
  const uint8_t order = slot.order & kSlotOrderMask;
  complete_ = false;
  if (slot.order & kLastSlotFlag) {
    if (order == 0 || order > kMaxSlots) {
      expected_ = 0;
      return;
    }
    slot_count_ = order;
    checksum_ = slot.checksum;
  } else if (expected_ == 0 || order != expected_ || slot.checksum != checksum_) {
    expected_ = 0;  // an orphan: wait for the next first slot
    return;
  }
  char16_t* out = &chars_[size_t{order - 1u} * kCharsPerSlot];
  for (size_t i = 0; i < 5; ++i) *out++ = load_le16(slot.chars1 + 2 * i);
  for (size_t i = 0; i < 6; ++i) *out++ = load_le16(slot.chars2 + 2 * i);
  for (size_t i = 0; i < 2; ++i) *out++ = load_le16(slot.chars3 + 2 * i);
  expected_ = static_cast<uint8_t>(order - 1);
  complete_ = order == 1;
}

std::u16string LongNameAssembler::take_name_for(const uint8_t* short_name) {
  std::u16string name;
  if (complete_ && short_name_checksum(short_name) == checksum_) {
    const size_t capacity = size_t{slot_count_} * kCharsPerSlot;
    size_t length = 0;
    while (length < capacity && chars_[length] != 0) ++length;
    name.assign(chars_.data(), length);
  }
  reset();
  return name;
}

}  // namespace vornos::fat32
