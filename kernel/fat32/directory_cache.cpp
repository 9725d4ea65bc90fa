// Indexed directories for the file calls: path lookup, new entries and removals.
#include "fat32/directory_cache.h"

#include <cstring>

#include "fat32/errors.h"
#include "fat32/names.h"

namespace vornos::fat32 {

int32_t DirectoryCache::open(uint32_t first_cluster, Directory*& directory) {
  auto it = directories_.find(first_cluster);
  if (it == directories_.end()) {
    auto fresh = std::make_unique<Directory>(volume_, pool_);
    if (int32_t rc = fresh->table.load(first_cluster); rc != kOk) return rc;
    fresh->index.build(fresh->table.entries(), volume_.code_page());
    if (directories_.size() >= kMaxDirectories) evict_one();
    it = directories_.emplace(first_cluster, std::move(fresh)).first;
  }
  it->second->last_use = ++uses_;
  directory = it->second.get();
  return kOk;
}

void DirectoryCache::evict_one() {
  auto oldest = directories_.begin();
  for (auto it = directories_.begin(); it != directories_.end(); ++it) {
    if (it->second->last_use < oldest->second->last_use) oldest = it;
  }
  directories_.erase(oldest);
}

int32_t DirectoryCache::load(uint32_t first_cluster) {
  Directory* directory = nullptr;
  return open(first_cluster, directory);
}

int32_t DirectoryCache::entry_index(uint32_t first_cluster, const DirEntryInfo& entry, uint32_t& index) {
  Directory* directory = nullptr;
  if (int32_t rc = open(first_cluster, directory); rc != kOk) return rc;
  if (!directory->table.index_of(entry.cluster, entry.offset, index)) {
    return volume_.report_inconsistency("an entry lies outside its directory");
  }
  return kOk;
}

int32_t DirectoryCache::lookup(std::string_view path, LookupResult& result) {
  const uint32_t per_cluster = volume_.geometry().cluster_bytes / kDirEntrySize;
  return volume_.lookup(path, result, [&](uint32_t first_cluster, std::u16string_view name, DirEntryInfo& found) {
    Directory* directory = nullptr;
    if (int32_t rc = open(first_cluster, directory); rc != kOk) return rc;
    const uint32_t index = directory->index.find(name);
    const DirectoryIndex::Entry* entry = directory->index.entry(index);
    if (entry == nullptr) return kNoEntry;
    found.entry = read_short_entry(directory->table.raw(index));
    found.long_name = entry->long_name;
    found.short_name = entry->short_name;
    found.cluster = directory->table.cluster_of(index);
    found.offset = (index % per_cluster) * kDirEntrySize;
    return kOk;
  });
}

int32_t DirectoryCache::add(uint32_t first_cluster, std::u16string_view name, ShortEntry entry, uint32_t& index) {
  Directory* directory = nullptr;
  if (int32_t rc = open(first_cluster, directory); rc != kOk) return rc;
  ShortName short_name;
  std::vector<uint8_t> records;
  entry.nt_case = 0;
  const bool plain = plain_short_name(name, volume_.code_page(), short_name, entry.nt_case);
  if (!plain) {
    if (!short_alias(name, volume_.code_page(), directory->index.taken_short_names(), short_name,
                     directory->index.first_alias_tail(name))) {
      return kNoSpace;
    }
    for (const LongNameSlot& slot : long_name_slots(name, short_name.data())) {
      const auto* bytes = reinterpret_cast<const uint8_t*>(&slot);
      records.insert(records.end(), bytes, bytes + sizeof slot);
    }
  }
  std::memcpy(entry.name, short_name.data(), kShortNameSize);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&entry);
  records.insert(records.end(), bytes, bytes + sizeof entry);
  const int32_t rc = directory->table.add(records, index);
  if (directory->table.damaged()) damaged_ = true;
  if (rc != kOk) {
    forget(first_cluster);  // what it holds may differ from the disk now
    return rc;
  }
  DirectorySlot slot;
  slot.index = index;
  slot.first_slot = index + 1 - static_cast<uint32_t>(records.size() / kDirEntrySize);
  slot.entry = entry;
  if (!plain) slot.long_name = name;
  slot.short_name = short_name_text(entry, volume_.code_page());
  directory->index.add(std::move(slot));
  if (!plain) directory->index.alias_taken(name, short_name);
  return kOk;
}

int32_t DirectoryCache::remove(uint32_t first_cluster, uint32_t index) {
  Directory* directory = nullptr;
  if (int32_t rc = open(first_cluster, directory); rc != kOk) return rc;
  const DirectoryIndex::Entry* found = directory->index.entry(index);
  const uint32_t first = found != nullptr ? found->first_slot : index;
  uint8_t short_name[kShortNameSize];
  std::memcpy(short_name, directory->table.raw(index), kShortNameSize);
  if (int32_t rc = directory->table.remove(first, index); rc != kOk) {
    forget(first_cluster);
    return rc;
  }
  if (!directory->index.remove(index, short_name)) directory->index.build(directory->table.entries(), volume_.code_page());
  return kOk;
}

void DirectoryCache::sector_written(uint64_t sector, std::span<const uint8_t> bytes, bool written) {
  for (auto it = directories_.begin(); it != directories_.end(); ++it) {
    uint32_t first_index = 0;
    if (!it->second->table.holds_sector(sector, first_index)) continue;
    if (!written || bytes.size() != volume_.geometry().bytes_per_sector) {
      directories_.erase(it);
    } else {
      std::memcpy(it->second->table.raw(first_index), bytes.data(), bytes.size());
    }
    return;
  }
}

}  // namespace vornos::fat32
