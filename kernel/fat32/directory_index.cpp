// Keeping a directory's names indexed.
#include "fat32/directory_index.h"

#include <algorithm>

#include "fat32/names.h"
#include "fat32/text.h"

namespace vornos::fat32 {

namespace {

// The key a name is found by: folded as names are compared.
std::u16string folded(std::u16string_view name) {
  std::u16string key(name);
  for (char16_t& c : key) c = fold_case(c);
  return key;
}

bool is_dot_entry(const ShortEntry& entry) {
  return has_short_name(entry.name, kDotName) || has_short_name(entry.name, kDotDotName);
}

// A volume label names the volume, not a file: it owns no clusters and has no directory bit.
bool is_volume_label(const ShortEntry& entry) {
  return (entry.attributes & (attr::kVolumeLabel | attr::kDirectory)) == attr::kVolumeLabel &&
         entry.first_cluster() == 0;
}

// The N of an alias "BASE~N.EXT"; 0 for a short name without a tail.
uint32_t alias_tail(const ShortName& alias) {
  uint32_t tail = 0;
  bool in_tail = false;
  for (size_t i = 0; i < 8 && alias[i] != ' '; ++i) {
    if (alias[i] == '~') {
      in_tail = true;
      tail = 0;
    } else if (in_tail) {
      if (alias[i] < '0' || alias[i] > '9') return 0;
      tail = tail * 10 + (alias[i] - '0');
    }
  }
  return in_tail ? tail : 0;
}

}  // namespace

// Every alias of a long name shares its ~1 form: the stem its tails are counted for.
std::string DirectoryIndex::alias_stem(std::u16string_view name) const {
  ShortName first;
  return short_alias(name, *page_, {}, first) ? taken_key(first.data(), *page_) : std::string();
}

void DirectoryIndex::build(std::vector<DirectorySlot> slots, const CodePage& page) {
  page_ = &page;
  by_name_.clear();
  entries_.clear();
  short_keys_.clear();
  taken_.clear();
  alias_tails_.clear();
  shared_keys_ = false;
  by_name_.reserve(2 * slots.size());
  entries_.reserve(slots.size());
  short_keys_.reserve(slots.size());
  taken_.reserve(slots.size());
  for (DirectorySlot& slot : slots) add_names(slot);
}

void DirectoryIndex::add_key(std::u16string key, uint32_t index) {
  auto [it, inserted] = by_name_.try_emplace(std::move(key), index);
  if (inserted || it->second == index) return;
  shared_keys_ = true;
  if (index < it->second) it->second = index;  // the first in directory order answers
}

void DirectoryIndex::add_names(DirectorySlot& slot) {
  const std::string short_key = taken_key(slot.entry.name, *page_);
  if (short_keys_[short_key]++ > 0) shared_keys_ = true;
  taken_.insert(short_key);
  if (is_dot_entry(slot.entry) || is_volume_label(slot.entry)) return;
  if (!slot.long_name.empty()) add_key(folded(slot.long_name), slot.index);
  add_key(folded(slot.short_name), slot.index);
  entries_[slot.index] = {slot.first_slot, std::move(slot.long_name), std::move(slot.short_name)};
}

void DirectoryIndex::add(DirectorySlot slot) { add_names(slot); }

bool DirectoryIndex::remove(uint32_t index, const uint8_t* short_name) {
  if (shared_keys_) return false;
  const auto it = entries_.find(index);
  if (it == entries_.end()) return false;  // a dot entry or a label: never removed through here
  for (const std::u16string* name : {&it->second.long_name, &it->second.short_name}) {
    if (!name->empty()) by_name_.erase(folded(*name));
  }
  entries_.erase(it);
  const std::string short_key = taken_key(short_name, *page_);
  if (--short_keys_[short_key] == 0) {
    short_keys_.erase(short_key);
    taken_.erase(short_key);
  }
  // A tail given back may be the lowest free one of any stem that reaches it.
  ShortName alias;
  std::copy(short_name, short_name + kShortNameSize, alias.begin());
  if (alias_tail(alias) != 0) alias_tails_.clear();
  return true;
}

uint32_t DirectoryIndex::find(std::u16string_view name) const {
  const auto it = by_name_.find(folded(name));
  return it == by_name_.end() ? kNotFound : it->second;
}

const DirectoryIndex::Entry* DirectoryIndex::entry(uint32_t index) const {
  const auto it = entries_.find(index);
  return it == entries_.end() ? nullptr : &it->second;
}

uint32_t DirectoryIndex::first_alias_tail(std::u16string_view name) const {
  const auto it = alias_tails_.find(alias_stem(name));
  return it == alias_tails_.end() ? 1 : it->second;
}

void DirectoryIndex::alias_taken(std::u16string_view name, const ShortName& alias) {
  // Tails below the one just given were all tried and found taken; nothing else is known.
  if (const uint32_t tail = alias_tail(alias); tail != 0) alias_tails_[alias_stem(name)] = tail + 1;
}

}  // namespace vornos::fat32
