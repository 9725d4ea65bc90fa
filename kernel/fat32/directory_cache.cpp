// Indexed directories for the file calls: path lookup, new entries and removals.
#include "fat32/directory_cache.h"

#include <cstring>

#include "fat32/errors.h"
#include "fat32/names.h"
#include "fat32/path.h"

namespace vornos::fat32 {

int32_t DirectoryCache::open(uint32_t first_cluster, Directory*& directory) {
  auto it = directories_.find(first_cluster);
  if (it == directories_.end()) {
    auto fresh = std::make_unique<Directory>(volume_, pool_);
    if (int32_t rc = fresh->table.load(first_cluster); rc != kOk) return rc;
    fresh->index.build(fresh->table.entries());
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

int32_t DirectoryCache::lookup(std::string_view path, LookupResult& result) {
  std::vector<std::u16string> components;
  if (int32_t rc = split_path(path, components); rc != kOk) return rc;
  const Geometry& g = volume_.geometry();
  const uint32_t per_cluster = g.cluster_bytes / kDirEntrySize;

  // The directories walked through so far, so that ".." can step back out of them.
  std::vector<LookupResult> trail;
  LookupResult current;
  current.is_root = true;
  current.is_directory = true;
  current.parent_cluster = g.root_cluster;
  current.path = "/";
  std::vector<uint8_t> scratch;
  for (const std::u16string& component : components) {
    if (!current.is_directory) return kNotDirectory;
    if (component == u".") continue;
    if (component == u"..") {
      if (!trail.empty()) {
        current = std::move(trail.back());
        trail.pop_back();
      }
      continue;
    }
    const uint32_t dir_cluster = current.directory_cluster(g.root_cluster);
    Directory* directory = nullptr;
    if (int32_t rc = open(dir_cluster, directory); rc != kOk) return rc;
    const uint32_t index = directory->index.find(component);
    const DirectoryIndex::Entry* found = directory->index.entry(index);
    if (found == nullptr) return kNoEntry;
    LookupResult next;
    next.info.entry = read_short_entry(directory->table.raw(index));
    next.info.long_name = found->long_name;
    next.info.short_name = found->short_name;
    next.info.cluster = directory->table.cluster_of(index);
    next.info.offset = (index % per_cluster) * kDirEntrySize;
    next.parent_cluster = dir_cluster;
    next.path = join_path(current.path, next.info.name());
    if (next.info.entry.attributes & attr::kDirectory) {
      DirectoryEvidence evidence;
      if (int32_t rc = volume_.probe_directory(next.info.entry, dir_cluster, evidence, scratch); rc != kOk) return rc;
      next.is_directory = evidence == DirectoryEvidence::kConsistent;
    }
    trail.push_back(std::move(current));
    current = std::move(next);
  }
  // As on POSIX, a trailing '/' asks for a directory.
  if (!current.is_directory && path.back() == '/') return kNotDirectory;
  result = std::move(current);
  return kOk;
}

int32_t DirectoryCache::add(uint32_t first_cluster, std::u16string_view name, ShortEntry entry, uint32_t& index) {
  Directory* directory = nullptr;
  if (int32_t rc = open(first_cluster, directory); rc != kOk) return rc;
  ShortName short_name;
  std::vector<uint8_t> records;
  entry.nt_case = 0;
  const bool plain = plain_short_name(name, short_name, entry.nt_case);
  if (!plain) {
    if (!short_alias(name, directory->index.taken_short_names(), short_name, directory->index.first_alias_tail(name))) {
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
  slot.short_name = short_name_text(entry);
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
  if (!directory->index.remove(index, short_name)) directory->index.build(directory->table.entries());
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
