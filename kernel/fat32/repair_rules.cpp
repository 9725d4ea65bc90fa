// Repair rules R1-R5 and the plausibility of entries.
#include "fat32/repair_rules.h"

#include <array>
#include <string_view>

#include "fat32/names.h"

namespace vornos::fat32 {

bool fits_long_name_sequence(std::span<const uint8_t> bytes, size_t offset) {
  const size_t count = bytes.size() / kDirEntrySize;
  const size_t index = offset / kDirEntrySize;
  if (index >= count) return false;
  const uint8_t order = bytes[offset] & kSlotOrderMask;
  if (order == 0 || order > kMaxSlots) return false;
  // The sequence begins at the slot holding the last part (order n, flagged) and ends before the entry.
  const uint8_t first = bytes[offset];
  size_t start = index;
  uint8_t expected_top = order;
  if (!(first & kLastSlotFlag)) {
    // Walk back to the flagged slot; every slot on the way must be whole.
    for (;;) {
      if (start == 0) return false;
      --start;
      ++expected_top;
      const uint8_t* raw = &bytes[start * kDirEntrySize];
      if (raw[kAttrOffset] != attr::kLongName || (raw[0] & kSlotOrderMask) != expected_top) return false;
      if (raw[0] & kLastSlotFlag) break;
      if (expected_top >= kMaxSlots) return false;
    }
  }
  const size_t short_index = start + expected_top;
  if (short_index >= count) return false;
  const uint8_t* short_entry = &bytes[short_index * kDirEntrySize];
  // Judged as the walk judges it, whatever the rules later do to its other bits.
  if (short_entry[0] == kEndOfDirectoryMark || short_entry[0] == kFreeEntryMark ||
      is_long_name_slot(short_entry[kAttrOffset])) {
    return false;
  }
  const uint8_t checksum = short_name_checksum(short_entry);
  for (size_t i = start; i < short_index; ++i) {
    const uint8_t* raw = &bytes[i * kDirEntrySize];
    const size_t expected_order = expected_top - (i - start);
    const uint8_t want = static_cast<uint8_t>(expected_order | (i == start ? kLastSlotFlag : 0));
    if (raw[0] != want || raw[13] != checksum || !slot_zeros_in_place(raw)) return false;
    if (i != index && raw[kAttrOffset] != attr::kLongName) return false;
  }
  return true;
}

AttributeRepair repair_long_name_slot(uint8_t attributes) {
  if (attributes == attr::kLongName) return {attributes, nullptr};
  return {attr::kLongName, "R1"};
}

AttributeRepair repair_dot_entry(uint8_t attributes) {
  if ((attributes & attr::kDirectory) && !(attributes & attr::kVolumeLabel)) return {attributes, nullptr};
  return {static_cast<uint8_t>((attributes | attr::kDirectory) & ~attr::kVolumeLabel), "R2"};
}

AttributeRepair repair_short_entry(const ShortEntry& entry, const EntryEvidence& evidence) {
  const uint8_t a = entry.attributes;
  const bool directory = a & attr::kDirectory;
  const bool label = a & attr::kVolumeLabel;
  const bool no_directory_there = evidence.directory == DirectoryEvidence::kNone;
  if (directory && label) {
    if (evidence.directory == DirectoryEvidence::kConsistent) return {static_cast<uint8_t>(a & ~attr::kVolumeLabel), "R3"};
  } else if (label) {
    if (no_directory_there && evidence.file_data) return {static_cast<uint8_t>(a & ~attr::kVolumeLabel), "R4"};
  } else if (directory && no_directory_there) {
    const bool empty_file = entry.first_cluster() == 0 && entry.size == 0 && (a & attr::kArchive);
    if (evidence.file_data || empty_file) return {static_cast<uint8_t>(a & ~attr::kDirectory), "R5"};
  }
  return {a, nullptr};
}

const char* implausible_entry(const uint8_t* raw, uint32_t max_cluster) {
  const uint8_t attributes = raw[kAttrOffset];
  if (attributes == attr::kLongName) {
    return slot_zeros_in_place(raw) ? nullptr : "a long-name slot with non-zero bytes where zeros belong";
  }
  // A label owns no cluster; with one, it may be a file that R4 uncovers, and must be named like one.
  const bool label = (attributes & (attr::kVolumeLabel | attr::kDirectory)) == attr::kVolumeLabel &&
                     short_entry_first_cluster(raw) == 0;
  // A label is no file name: spaces are valid anywhere in it, and eleven of them are a blank label,
  // as labelling tools leave one that was emptied.
  if (raw[0] == ' ' && !label) return "a short name that starts with a space";
  const bool suspect = label || short_name_suspect(raw);
  for (size_t i = 0; suspect && i < kShortNameSize; ++i) {
    const uint8_t c = raw[i];
    if (c < 0x20 && !(i == 0 && c == kEscapedE5Mark)) return "a control character in a short name";
    // Labels may hold what file names may not; control characters they may not.
    if (!label && detail::kForbiddenInShortName[c]) {
      return "a forbidden character in a short name";
    }
  }
  if (short_entry_first_cluster(raw) > max_cluster) return "a start cluster beyond the volume";
  return nullptr;
}

}  // namespace vornos::fat32
