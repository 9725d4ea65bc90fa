// The names of a directory entry: the 8.3 short name and the long name spread over slots before it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fat32/code_page.h"
#include "fat32/dir_entry.h"

namespace vornos::fat32 {

// Checksum of the 11 short-name bytes that every long-name slot of that entry carries.
uint8_t short_name_checksum(const uint8_t* short_name);

// The lower-case flags of a short entry's NT byte: its base, its extension stored upper-cased.
inline constexpr uint8_t kLowerCaseBase = 0x08;
inline constexpr uint8_t kLowerCaseExtension = 0x10;

// "NAME.EXT" as a user sees it: padding dropped, 0x05 read as 0xE5, the lower-case flags of the NT byte
// applied in the page's own case, the bytes read as characters of `page`.
std::u16string short_name_text(const ShortEntry& entry, const CodePage& page);

// The long-name slots that store `name` (1..255 characters) for the short name `short_name` (11 bytes), in
// disk order (the last part first), as every FAT writer lays them out: a 0x0000 after the name, 0xFFFF
// padding. Empty when the name does not fit.
std::vector<LongNameSlot> long_name_slots(std::u16string_view name, const uint8_t* short_name);

// Collects long-name slots in disk order and yields the name when the short entry they belong to arrives.
// Slots out of order or with another checksum are orphans and give no name, as on every FAT reader.
class LongNameAssembler {
 public:
  void reset() { expected_ = 0; complete_ = false; }
  void add_slot(const LongNameSlot& slot);
  // The long name of the short entry `short_name` (11 bytes), or empty when the slots before it do not
  // form one. Resets the assembler either way.
  std::u16string take_name_for(const uint8_t* short_name);

 private:
  std::array<char16_t, kMaxSlots * kCharsPerSlot> chars_{};
  uint8_t slot_count_ = 0;
  uint8_t expected_ = 0;  // order of the slot that should come next; 0 = not inside a sequence
  uint8_t checksum_ = 0;
  bool complete_ = false;
};

}  // namespace vornos::fat32
