// Names of partition types, and which of them FAT32 file systems are given.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vornos::disk {

// A GPT type GUID as it is stored: the first three fields little-endian, the last two as written.
using Guid = std::array<uint8_t, 16>;

// The stored form of a GUID written "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7".
constexpr Guid guid_from_text(std::string_view text) {
  constexpr auto nibble = [](char c) -> uint8_t {
    return static_cast<uint8_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  };
  std::array<uint8_t, 16> in_text_order{};
  size_t at = 0;
  for (size_t i = 0; i < text.size() && at < 16; ++i) {
    if (text[i] == '-') continue;
    in_text_order[at++] = static_cast<uint8_t>(nibble(text[i]) << 4 | nibble(text[i + 1]));
    ++i;
  }
  constexpr std::array<size_t, 16> kStoredFrom = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  Guid stored{};
  for (size_t i = 0; i < 16; ++i) stored[i] = in_text_order[kStoredFrom[i]];
  return stored;
}

inline constexpr Guid kGuidUnused{};
inline constexpr Guid kGuidBasicData = guid_from_text("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
inline constexpr Guid kGuidEfiSystem = guid_from_text("C12A7328-F81F-11D2-BA4B-00A0C93EC93B");
static_assert(kGuidBasicData[0] == 0xA2 && kGuidBasicData[3] == 0xEB && kGuidBasicData[4] == 0xE5 &&
              kGuidBasicData[8] == 0x87 && kGuidBasicData[15] == 0xC7);

// "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7" for the stored form.
std::string guid_text(const Guid& guid);

// MBR type bytes of extended partitions (CHS, LBA, and Linux's), whose logical partitions follow a chain.
constexpr bool is_extended_type(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }
// MBR types of FAT32 volumes: CHS and LBA, their hidden forms, and the EFI system partition.
constexpr bool is_fat_mbr_type(uint8_t type) {
  return type == 0x0B || type == 0x0C || type == 0x1B || type == 0x1C || type == 0xEF;
}
constexpr bool is_fat_gpt_type(const Guid& type) { return type == kGuidBasicData || type == kGuidEfiSystem; }

// "FAT32 (LBA) 0x0c", "type 0x83"; "Microsoft basic data", "type 0FC63DAF-...".
std::string mbr_type_name(uint8_t type);
std::string gpt_type_name(const Guid& type);

}  // namespace vornos::disk
