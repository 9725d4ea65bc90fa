// The one way this layer reads a directory's 32-byte slots in order: what each slot is, and the live
// short entries with their long names folded in. Listing, lookup, the directory table, the cache
// warmer and the repair walk's general path all read slots through it.
#pragma once

#include <cstdint>
#include <string>

#include "fat32/code_page.h"
#include "fat32/dir_entry.h"
#include "fat32/names.h"

namespace vornos::fat32 {

enum class SlotKind : uint8_t {
  kEnd,       // the end-of-directory mark: no slot after it is read
  kFree,      // a deleted entry: it breaks a run of long-name slots
  kLongName,  // a long-name slot (attribute 0x0F, or with stray high bits, which readers take for a label)
  kShort,     // a short entry: a file, a directory, a label, or a dot entry
};

inline SlotKind slot_kind(const uint8_t* raw) {
  if (raw[0] == kEndOfDirectoryMark) return SlotKind::kEnd;
  if (raw[0] == kFreeEntryMark) return SlotKind::kFree;
  return is_long_name_slot(raw[kAttrOffset]) ? SlotKind::kLongName : SlotKind::kShort;
}

// A live short entry of a directory with its names and place.
struct DirectorySlot {
  uint32_t index = 0;       // of the short entry
  uint32_t first_slot = 0;  // of its first long-name slot; == index when it has no long name
  ShortEntry entry{};
  std::u16string long_name;
  std::u16string short_name;  // "NAME.EXT", decoded in the code page
};

// Folds long-name slots into the short entry after them, slot by slot, across clusters.
class DirectorySlotReader {
 public:
  explicit DirectorySlotReader(const CodePage& page) : page_(page) {}

  // Reads the slot `raw`, numbered `index` in its directory: its kind, and for kShort the entry with
  // its names in `out`. A long-name slot with stray bits, or a free slot, ends the run of slots before.
  SlotKind read(const uint8_t* raw, uint32_t index, DirectorySlot& out);

 private:
  const CodePage& page_;
  LongNameAssembler names_;
  uint32_t run_start_ = 0;  // index of the last slot of the sequence seen last (its first on disk)
};

}  // namespace vornos::fat32
