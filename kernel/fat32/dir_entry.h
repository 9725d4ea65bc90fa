// The 32-byte directory entry: short entries and long-name slots, as laid out on disk.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vornos/abi/limits.h"

namespace vornos::fat32 {

static_assert(std::endian::native == std::endian::little, "on-disk records are copied as little-endian");

inline constexpr size_t kDirEntrySize = 32;
inline constexpr size_t kShortNameSize = 11;

namespace attr {
inline constexpr uint8_t kReadOnly = 0x01;
inline constexpr uint8_t kHidden = 0x02;
inline constexpr uint8_t kSystem = 0x04;
inline constexpr uint8_t kVolumeLabel = 0x08;
inline constexpr uint8_t kDirectory = 0x10;
inline constexpr uint8_t kArchive = 0x20;
inline constexpr uint8_t kLongNameMask = 0x3F;  // 0x40 and 0x80 are reserved
inline constexpr uint8_t kLongName = 0x0F;
}  // namespace attr

inline constexpr uint8_t kEndOfDirectoryMark = 0x00;
inline constexpr uint8_t kFreeEntryMark = 0xE5;
inline constexpr uint8_t kEscapedE5Mark = 0x05;  // a name that really starts with 0xE5
inline constexpr size_t kAttrOffset = 11;

struct ShortEntry {
  uint8_t name[kShortNameSize];
  uint8_t attributes;
  uint8_t nt_case;
  uint8_t create_tenths;
  uint16_t create_time;
  uint16_t create_date;
  uint16_t access_date;
  uint16_t cluster_high;
  uint16_t write_time;
  uint16_t write_date;
  uint16_t cluster_low;
  uint32_t size;

  uint32_t first_cluster() const { return (uint32_t{cluster_high} << 16) | cluster_low; }
};
static_assert(sizeof(ShortEntry) == kDirEntrySize);
static_assert(offsetof(ShortEntry, attributes) == kAttrOffset);
static_assert(offsetof(ShortEntry, nt_case) == 12);
static_assert(offsetof(ShortEntry, cluster_high) == 20);
static_assert(offsetof(ShortEntry, cluster_low) == 26);
static_assert(offsetof(ShortEntry, size) == 28);

struct LongNameSlot {
  uint8_t order;         // 1..20; kLastSlotFlag marks the last part, stored first
  uint8_t chars1[10];    // 5 UCS-2 characters
  uint8_t attributes;    // 0x0F
  uint8_t type;          // 0
  uint8_t checksum;      // of the short name that follows
  uint8_t chars2[12];    // 6 characters
  uint16_t first_cluster;  // 0
  uint8_t chars3[4];     // 2 characters
};
static_assert(sizeof(LongNameSlot) == kDirEntrySize);
static_assert(offsetof(LongNameSlot, attributes) == kAttrOffset);
static_assert(offsetof(LongNameSlot, checksum) == 13);
static_assert(offsetof(LongNameSlot, chars2) == 14);
static_assert(offsetof(LongNameSlot, chars3) == 28);

inline constexpr uint8_t kLastSlotFlag = 0x40;
inline constexpr uint8_t kSlotOrderMask = 0x1F;
inline constexpr size_t kCharsPerSlot = 13;
inline constexpr size_t kMaxSlots = 20;
inline constexpr size_t kMaxLongNameLength = abi::kLongestName;  // UTF-16 units; 20 slots hold 260

inline ShortEntry read_short_entry(const uint8_t* bytes) {
  ShortEntry e;
  std::memcpy(&e, bytes, sizeof e);
  return e;
}

// The start cluster of the short entry at `bytes`, read from its two halves in place: for loops over many
// entries that need nothing else of them.
inline uint32_t short_entry_first_cluster(const uint8_t* bytes) {
  uint16_t high, low;
  std::memcpy(&high, bytes + offsetof(ShortEntry, cluster_high), sizeof high);
  std::memcpy(&low, bytes + offsetof(ShortEntry, cluster_low), sizeof low);
  return (uint32_t{high} << 16) | low;
}

inline LongNameSlot read_long_name_slot(const uint8_t* bytes) {
  LongNameSlot s;
  std::memcpy(&s, bytes, sizeof s);
  return s;
}

constexpr bool is_long_name_slot(uint8_t attributes) {
  return (attributes & attr::kLongNameMask) == attr::kLongName;
}

inline constexpr char kDotName[kShortNameSize + 1] = ".          ";
inline constexpr char kDotDotName[kShortNameSize + 1] = "..         ";

inline bool has_short_name(const uint8_t* entry, const char (&name)[kShortNameSize + 1]) {
  return std::memcmp(entry, name, kShortNameSize) == 0;
}

}  // namespace vornos::fat32
