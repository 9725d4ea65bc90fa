// An index of one directory's names: case-folded long and short names to the places of their entries,
// the short names in use, and where the search for a new alias may start. Built in one pass over the
// directory's entries and kept true by every change made through it, so that a lookup, a create and
// an unlink cost the same whatever the directory holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fat32/directory_table.h"
#include "fat32/new_names.h"

namespace vornos::fat32 {

class DirectoryIndex {
 public:
  // An entry as a lookup needs it.
  struct Entry {
    uint32_t first_slot = 0;  // of its first long-name slot; its own index when it has no long name
    std::u16string long_name;
    std::u16string short_name;
  };

  // Indexes the live entries of a directory, in directory order (their names are moved out of `slots`),
  // whose short names are in code page `page`.
  void build(std::vector<DirectorySlot> slots, const CodePage& page);

  // The index of the short entry that `name` names (long or short name, regardless of case; the first
  // in directory order when several do), or kNotFound. "." and ".." and volume labels are not names.
  static constexpr uint32_t kNotFound = 0xFFFFFFFF;
  uint32_t find(std::u16string_view name) const;
  const Entry* entry(uint32_t index) const;

  // The short names in use, as short_alias takes them.
  const TakenShortNames& taken_short_names() const { return taken_; }
  // The lowest alias tail not known to be taken for `name` (1 when nothing is known), and the note that
  // the alias `alias` was just given to `name`: so that a directory of thousands of aliases of one stem
  // does not try each tail again for every new name.
  uint32_t first_alias_tail(std::u16string_view name) const;
  void alias_taken(std::u16string_view name, const ShortName& alias);

  // Records the entry made at `slot.index`, or that the entry at `index`, with the 11 bytes of its
  // short name, is gone. Removing a name that shared its key with another entry (damaged directories
  // hold such) needs the directory again: remove() then answers false, and the caller builds the index
  // anew.
  void add(DirectorySlot slot);
  bool remove(uint32_t index, const uint8_t* short_name);

 private:
  void add_names(DirectorySlot& slot);
  void add_key(std::u16string key, uint32_t index);
  std::string alias_stem(std::u16string_view name) const;

  std::unordered_map<std::u16string, uint32_t> by_name_;  // folded name -> index of its short entry
  std::unordered_map<uint32_t, Entry> entries_;           // by index of the short entry
  std::unordered_map<std::string, uint32_t> short_keys_;  // taken_key -> how many entries hold it
  TakenShortNames taken_;
  std::unordered_map<std::string, uint32_t> alias_tails_;  // alias stem (the ~1 alias) -> first tail to try
  const CodePage* page_ = &kDefaultCodePage;
  bool shared_keys_ = false;  // two entries answer to one name, or hold one short name
};

}  // namespace vornos::fat32
