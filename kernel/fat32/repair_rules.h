// The repair rules for attribute bytes of directory entries, as pure decisions on one entry, and the
// tests of what a FAT driver would have written, on which the rules and the trust in a volume rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <span>
#include <string_view>

#include "fat32/dir_entry.h"
#include "fat32/directory_evidence.h"

namespace vornos::fat32 {

struct AttributeRepair {
  uint8_t attributes;     // the byte as it should be
  const char* rule;       // which rule changed it, nullptr when it is left as it is
};

// What the volume says about a short entry beyond its own attribute byte.
struct EntryEvidence {
  DirectoryEvidence directory = DirectoryEvidence::kNone;  // what its start cluster holds
  bool file_data = false;  // a non-zero size and a chain of exactly the clusters that size needs
};

namespace detail {

inline constexpr std::string_view kForbiddenInFileName = "\"*+,./:;<=>?[\\]|";

// Tables, as every entry of a walk is checked: characters no FAT driver writes in a file's short name,
// and those it writes in no short name (control characters; 0x05 stands for 0xE5 as a first character).
inline constexpr auto kForbiddenInShortName = [] {
  std::array<bool, 256> forbidden{};
  for (const char c : kForbiddenInFileName) forbidden[static_cast<uint8_t>(c)] = true;
  return forbidden;
}();
inline constexpr auto kSuspectInFileName = [] {
  std::array<bool, 256> suspect = kForbiddenInShortName;
  for (size_t c = 0; c < 0x20; ++c) suspect[c] = true;
  return suspect;
}();

}  // namespace detail

// Whether a short name holds a byte that may be control or forbidden (a cheap filter before the exact
// test of implausible_entry): eleven lookups that do not wait for one another.
inline bool short_name_suspect(const uint8_t* raw) {
  const auto s = [raw](size_t i) { return detail::kSuspectInFileName[raw[i]]; };
  static_assert(kShortNameSize == 11);
  return ((s(0) | s(1)) | (s(2) | s(3))) | ((s(4) | s(5)) | (s(6) | s(7))) | ((s(8) | s(9)) | s(10));
}

// Whether a long-name slot has zeros where every FAT driver writes them: its type byte and its cluster.
inline bool slot_zeros_in_place(const uint8_t* raw) { return raw[12] == 0 && raw[26] == 0 && raw[27] == 0; }

// Whether an attribute byte may be a long-name slot's 0x0F damaged: stray reserved bits, or one bit off.
// (Tested without a popcount instruction the target may lack: every entry of a walk is tested.)
constexpr bool may_be_long_name_slot(uint8_t attributes) {
  const unsigned off = attributes ^ attr::kLongName;
  return is_long_name_slot(attributes) || (off != 0 && (off & (off - 1)) == 0);
}

// Whether the entry at `offset` of `bytes` (one directory cluster) belongs to a complete long-name
// sequence there: slots numbered down from one with the last-part flag to 1, each with zeros where
// zeros belong and the checksum of the short entry right after them. The other slots of the sequence
// must be exactly 0x0F: only one damaged byte is ever believed to be a slot.
bool fits_long_name_sequence(std::span<const uint8_t> bytes, size_t offset);

// R1: an entry that fits a long-name sequence (see above) but whose attribute byte is not exactly 0x0F:
// readers take it for a label or a file and lose the name, so it becomes 0x0F.
AttributeRepair repair_long_name_slot(uint8_t attributes);

// R2: the "." (slot 0) or ".." (slot 1) entry of a directory other than the root must be a directory and
// not a label, or Linux refuses the whole directory. The walk asks only inside directories whose "." and
// ".." name the right clusters.
AttributeRepair repair_dot_entry(uint8_t attributes);

// R3-R5 for any other short entry; each demands evidence, and without it the byte is left alone (a flag
// left wrong costs a hidden name, a flag set wrong costs a subtree).
// R3: directory + label bits, and the start cluster begins with "." naming itself and ".." naming the
//     parent: a directory; clear the label bit.
// R4: label bit without directory bit, no directory at the start cluster, and file data (a size and a
//     chain of exactly that many clusters): a file hidden by a stray bit; clear it.
// R5: directory bit without label bit, and the start cluster does not begin with "." and "..", and either
//     file data or an empty file (no cluster, no size, the archive bit that writers give files, not
//     directories): a file marked as a directory; clear the bit.
// The reserved bits 0x40/0x80 of short entries are never touched: some systems give them meaning.
AttributeRepair repair_short_entry(const ShortEntry& entry, const EntryEvidence& evidence);

// Why the live entry at `raw` is one no FAT driver would write, or nullptr when it is plausible:
// control or forbidden characters in a short name, a file name that starts with a space (a label may, and
// may be all spaces), a start cluster above `max_cluster`, or a long-name slot (attribute exactly 0x0F)
// with non-zero bytes where zeros belong.
const char* implausible_entry(const uint8_t* raw, uint32_t max_cluster);

}  // namespace vornos::fat32
