// The mount: the run's hold on the image, the dirty mark, path resolution and the directory calls.
#include "fat32/mount.h"

#include <cstring>

#include "fat32/errors.h"
#include "fat32/fat_table.h"
#include "fat32/le.h"
#include "fat32/mount_impl.h"
#include "fat32/names.h"
#include "fat32/new_names.h"
#include "fat32/path.h"
#include "fat32/text.h"

namespace vornos::fat32 {

namespace {

constexpr size_t kStateOffset = 4;  // FAT[1], the volume state, in the first sector of each FAT copy

uint64_t state_sector(const Geometry& g, uint32_t copy) { return g.fat_offset(copy) / g.bytes_per_sector; }

}  // namespace

ShortEntry new_short_entry(uint8_t attributes, uint32_t first_cluster, uint32_t size, const DosTimestamp& now) {
  ShortEntry e{};
  e.attributes = attributes;
  e.create_tenths = now.tenths;
  e.create_time = now.time;
  e.create_date = now.date;
  e.access_date = now.date;
  e.write_time = now.time;
  e.write_date = now.date;
  e.size = size;
  set_first_cluster(e, first_cluster);
  return e;
}

void set_first_cluster(ShortEntry& entry, uint32_t cluster) {
  entry.cluster_high = static_cast<uint16_t>(cluster >> 16);
  entry.cluster_low = static_cast<uint16_t>(cluster);
}

void touch(ShortEntry& entry, const DosTimestamp& now) {
  entry.write_time = now.time;
  entry.write_date = now.date;
  entry.access_date = now.date;
  entry.attributes |= attr::kArchive;
}

Mount::Mount(Volume& volume) : volume_(volume), impl_(std::make_unique<Impl>(volume)) {
  volume_.hold_for_run(!volume_.read_only());
  volume_.accept_interrupted_links(true);
}

Mount::~Mount() { detach(); }

int32_t Mount::detach() {
  Impl& m = *impl_;
  if (m.detached) return kOk;
  for (auto& [handle, staging] : m.stagings) m.pool.release(staging.clusters);
  m.stagings.clear();
  int32_t result = kOk;
  if (m.marked_dirty && !m.failed_for_good() && !m.clean_copies.empty()) {
    const Geometry& g = volume_.geometry();
    result = volume_.sync();
    std::vector<uint8_t> sector;
    for (uint32_t copy : m.clean_copies) {
      if (result != kOk) break;
      result = volume_.read_sector(state_sector(g, copy), sector);
      if (result != kOk) break;
      store_le32(&sector[kStateOffset], load_le32(&sector[kStateOffset]) | kFatCleanShutdown);
      result = volume_.write_sector(state_sector(g, copy), sector);
    }
    // The clean mark itself needs no flush: lost in a crash, it leaves the volume marked dirty, which
    // is safe; everything it vouches for was flushed before it.
  } else if (m.marked_dirty) {
    result = volume_.sync();
  }
  m.detached = true;
  m.directories.clear();
  volume_.accept_interrupted_links(false);
  volume_.release_run();
  return result;
}

int32_t Mount::Impl::mark_dirty() {
  if (detached) return kIoError;
  if (marked_dirty) return mark_failed ? kIoError : kOk;
  if (volume.read_only()) return kReadOnly;
  const Geometry& g = volume.geometry();
  std::vector<uint8_t> sector;
  std::vector<uint32_t> cleared;
  int32_t rc = kOk;
  for (uint32_t copy = 0; copy < g.fat_count && rc == kOk; ++copy) {
    if (rc = volume.read_sector(state_sector(g, copy), sector); rc != kOk) break;
    const uint32_t state = load_le32(&sector[kStateOffset]);
    if ((state & kFatCleanShutdown) == 0) continue;
    store_le32(&sector[kStateOffset], state & ~kFatCleanShutdown);
    // A copy whose write failed may hold either state: detach() sets the bit again either way.
    cleared.push_back(copy);
    rc = volume.write_sector(state_sector(g, copy), sector);
  }
  // The mark must be on the disk before anything it warns about.
  if (rc == kOk) rc = volume.sync();
  clean_copies = std::move(cleared);
  marked_dirty = true;
  if (rc != kOk) mark_failed = true;
  return rc;
}

int32_t Mount::Impl::chain_of(uint32_t first, const std::vector<uint32_t>*& chain) {
  drop_stale_chains();
  auto it = chains.find(first);
  if (it == chains.end()) {
    std::vector<uint32_t> found;
    if (int32_t rc = volume.cluster_chain(first, found); rc != kOk) return rc;
    it = chains.emplace(first, std::move(found)).first;
  }
  chain = &it->second;
  return kOk;
}

void Mount::Impl::drop_stale_chains() {
  if (chains_generation != pool.generation() || chains.size() > 256) {
    chains.clear();
    chains_generation = pool.generation();
  }
}

int32_t Mount::Impl::take_chain(uint32_t first, std::vector<uint32_t>& chain) {
  const std::vector<uint32_t>* cached = nullptr;
  if (int32_t rc = chain_of(first, cached); rc != kOk) return rc;
  auto it = chains.find(first);
  chain = std::move(it->second);
  chains.erase(it);
  return kOk;
}

void Mount::Impl::remember_chain(std::vector<uint32_t> chain) {
  if (chain.empty()) return;
  drop_stale_chains();
  const uint32_t first = chain.front();
  chains[first] = std::move(chain);
}

int32_t Mount::Impl::check_path(std::string_view path) {
  if (detached) return kIoError;
  if (path.empty() || path.front() != '/') return kInvalid;
  size_t start = 0;
  std::u16string component;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (!utf8_to_utf16(path.substr(start, end - start), component)) return kInvalid;
    if (component.size() > kMaxLongNameLength) return kNameTooLong;
    start = end + 1;
  }
  return kOk;
}

int32_t Mount::Impl::resolve(std::string_view path, Node& node, LookupResult* found) {
  if (int32_t rc = check_path(path); rc != kOk) return rc;
  LookupResult result;
  if (int32_t rc = directories.lookup(path, result); rc != kOk) return rc;
  node = Node{};
  node.path = result.path;
  if (result.is_root) {
    node.is_directory = true;
    node.attributes = attr::kDirectory;
    node.first_cluster = volume.root_cluster();
  } else {
    uint32_t index = 0;
    if (int32_t rc = directories.entry_index(result.parent_cluster, result.info, index); rc != kOk) return rc;
    node.id = {result.parent_cluster, index};
    node.attributes = result.info.entry.attributes;
    node.is_directory = result.is_directory || (node.attributes & attr::kDirectory) != 0;
    node.size = node.is_directory ? 0 : result.info.entry.size;
    node.first_cluster = result.info.entry.first_cluster();
  }
  if (found != nullptr) *found = std::move(result);
  return kOk;
}

int32_t Mount::Impl::split_new(std::string_view path, bool for_directory, NewName& out) {
  if (int32_t rc = check_path(path); rc != kOk) return rc;
  const size_t last = path.find_last_not_of('/');
  if (last == std::string_view::npos) return kExists;  // the root
  const bool trailing_slash = last + 1 < path.size();
  const size_t slash = path.rfind('/', last);
  if (!utf8_to_utf16(path.substr(slash + 1, last - slash), out.name)) return kInvalid;
  if (int32_t rc = directories.lookup(path.substr(0, slash + 1), out.parent); rc != kOk) return rc;
  if (!out.parent.is_directory) return kNotDirectory;
  if (trailing_slash && !for_directory) return kIsDirectory;
  return check_new_name(out.name);
}

int32_t Mount::Impl::load_entry(const NodeId& id, EntryPlace& place) {
  if (detached) return kIoError;
  if (id.is_root()) return kIsDirectory;
  // Reads in a row ask for the same entry: while nothing was written, the sector read last still holds.
  if (last_entry_id == id && last_entry_writes == volume.io_stats().writes) {
    place = last_entry;
    return kOk;
  }
  const std::vector<uint32_t>* chain = nullptr;
  if (int32_t rc = chain_of(id.directory, chain); rc != kOk) return rc;
  const uint32_t per_cluster = entries_per_cluster();
  if (id.index / per_cluster >= chain->size()) return kNoEntry;
  const uint32_t in_cluster = (id.index % per_cluster) * kDirEntrySize;
  place.sector = volume.sector_of((*chain)[id.index / per_cluster], in_cluster);
  place.offset = in_cluster % volume.geometry().bytes_per_sector;
  if (int32_t rc = volume.read_sector(place.sector, place.bytes); rc != kOk) return rc;
  const uint8_t* raw = &place.bytes[place.offset];
  if (raw[0] == kEndOfDirectoryMark || raw[0] == kFreeEntryMark || is_long_name_slot(raw[kAttrOffset])) {
    return kNoEntry;
  }
  place.entry = read_short_entry(raw);
  last_entry = place;
  last_entry_id = id;
  last_entry_writes = volume.io_stats().writes;
  return kOk;
}

int32_t Mount::Impl::store_entry(EntryPlace& place, const ShortEntry& entry) {
  place.store(entry);
  place.entry = entry;
  const int32_t rc = volume.write_sector(place.sector, place.bytes);
  directories.sector_written(place.sector, place.bytes, rc == kOk);
  return rc;
}

int32_t Mount::Impl::add_entry(uint32_t directory, std::u16string_view name, ShortEntry entry, uint32_t& index) {
  return directories.add(directory, name, entry, index);
}

int32_t Mount::lookup(std::string_view path, Node& node) { return impl_->resolve(path, node); }

int32_t Mount::node(const NodeId& id, Node& node) {
  Impl& m = *impl_;
  node = Node{};
  node.id = id;
  if (id.is_root()) {
    if (m.detached) return kIoError;
    node.is_directory = true;
    node.attributes = attr::kDirectory;
    node.first_cluster = volume_.root_cluster();
    return kOk;
  }
  EntryPlace place;
  if (int32_t rc = m.load_entry(id, place); rc != kOk) return rc;
  node.attributes = place.entry.attributes;
  node.is_directory = (node.attributes & attr::kDirectory) != 0;
  node.size = node.is_directory ? 0 : place.entry.size;
  node.first_cluster = place.entry.first_cluster();
  return kOk;
}

int32_t Mount::open(std::string_view path, const OpenRequest& request, Node& node) {
  Impl& m = *impl_;
  const int32_t found = m.resolve(path, node);
  if (found == kOk) {
    if (request.create && request.exclusive) return kExists;
    if (!request.write) return kOk;
    if (node.is_directory) return kIsDirectory;
    if (read_only()) return kReadOnly;
    if (node.read_only()) return kAccess;
    if (request.truncate && (node.size != 0 || node.first_cluster != 0)) {
      if (int32_t rc = truncate(node.id); rc != kOk) return rc;
      node.size = 0;
      node.first_cluster = 0;
    }
    return kOk;
  }
  if (found != kNoEntry || !request.create) return found;
  NewName target;
  if (int32_t rc = m.split_new(path, false, target); rc != kOk) return rc;
  if (read_only()) return kReadOnly;
  const uint32_t parent_cluster = target.parent.directory_cluster(volume_.root_cluster());
  if (int32_t rc = m.directories.load(parent_cluster); rc != kOk) return rc;
  if (int32_t rc = m.mark_dirty(); rc != kOk) return rc;
  const ShortEntry entry = new_short_entry(attr::kArchive, 0, 0, dos_now());
  uint32_t index = 0;
  if (int32_t rc = m.add_entry(parent_cluster, target.name, entry, index); rc != kOk) return rc;
  node = Node{};
  node.id = {parent_cluster, index};
  node.attributes = entry.attributes;
  node.path = join_path(target.parent.path, target.name);
  return kOk;
}

int32_t Mount::mkdir(std::string_view path) {
  Impl& m = *impl_;
  Node existing;
  const int32_t found = m.resolve(path, existing);
  if (found == kOk) return kExists;
  if (found != kNoEntry) return found;
  NewName target;
  if (int32_t rc = m.split_new(path, true, target); rc != kOk) return rc;
  if (read_only()) return kReadOnly;
  const uint32_t parent_cluster = target.parent.directory_cluster(volume_.root_cluster());
  if (int32_t rc = m.directories.load(parent_cluster); rc != kOk) return rc;
  if (int32_t rc = m.mark_dirty(); rc != kOk) return rc;

  std::vector<uint32_t> cluster;
  if (int32_t rc = m.pool.reserve(1, cluster); rc != kOk) return rc;
  const DosTimestamp now = dos_now();
  std::vector<uint8_t> bytes(volume_.geometry().cluster_bytes, 0);
  ShortEntry dot = new_short_entry(attr::kDirectory, cluster[0], 0, now);
  std::memcpy(dot.name, kDotName, kShortNameSize);
  ShortEntry dot_dot = new_short_entry(attr::kDirectory, target.parent.is_root ? 0 : parent_cluster, 0, now);
  std::memcpy(dot_dot.name, kDotDotName, kShortNameSize);
  std::memcpy(&bytes[0], &dot, sizeof dot);
  std::memcpy(&bytes[kDirEntrySize], &dot_dot, sizeof dot_dot);
  if (int32_t rc = volume_.write_at(volume_.geometry().cluster_offset(cluster[0]), bytes); rc != kOk) {
    m.pool.release(cluster);
    return rc;
  }
  if (int32_t rc = m.pool.link(0, cluster); rc != kOk) return rc;
  uint32_t index = 0;
  if (int32_t rc = m.add_entry(parent_cluster, target.name, new_short_entry(attr::kDirectory, cluster[0], 0, now), index);
      rc != kOk) {
    m.pool.free(cluster);
    return rc;
  }
  return kOk;
}

namespace {

bool last_component_is_dot(std::string_view path) {
  const size_t last = path.find_last_not_of('/');
  if (last == std::string_view::npos) return false;
  const size_t slash = path.rfind('/', last);
  const std::string_view name = path.substr(slash + 1, last - slash);
  return name == "." || name == "..";
}

}  // namespace

int32_t Mount::Impl::remove_entry(const Node& node, const std::vector<uint32_t>& chain) {
  if (int32_t rc = directories.load(node.id.directory); rc != kOk) return rc;
  if (int32_t rc = mark_dirty(); rc != kOk) return rc;
  if (int32_t rc = directories.remove(node.id.directory, node.id.index); rc != kOk) return rc;
  // The entry is gone: the call has done its work even if freeing fails (the clusters are then lost
  // and the volume stays marked for checking).
  pool.free(chain);
  return kOk;
}

int32_t Mount::rmdir(std::string_view path) {
  Impl& m = *impl_;
  if (int32_t rc = m.check_path(path); rc != kOk) return rc;
  if (last_component_is_dot(path)) return kInvalid;
  Node node;
  if (int32_t rc = m.resolve(path, node); rc != kOk) return rc;
  if (node.is_root()) return kBusy;
  if (!node.is_directory) return kNotDirectory;
  if (read_only()) return kReadOnly;
  DirectoryTable table(volume_, m.pool);
  if (int32_t rc = table.load(node.first_cluster); rc != kOk) return rc;
  for (const DirectorySlot& slot : table.entries()) {
    const bool dot = (slot.index == 0 && has_short_name(slot.entry.name, kDotName)) ||
                     (slot.index == 1 && has_short_name(slot.entry.name, kDotDotName));
    if (!dot) return kNotEmpty;
  }
  const std::vector<uint32_t>* chain = nullptr;
  if (int32_t rc = m.chain_of(node.first_cluster, chain); rc != kOk) return rc;
  const std::vector<uint32_t> clusters = *chain;
  const int32_t rc = m.remove_entry(node, clusters);
  // Its first cluster may start another directory, or a file, from now on.
  if (rc == kOk) m.directories.forget(node.first_cluster);
  return rc;
}

int32_t Mount::unlink(std::string_view path) {
  Impl& m = *impl_;
  Node node;
  if (int32_t rc = m.resolve(path, node); rc != kOk) return rc;
  if (node.is_directory) return kIsDirectory;
  if (read_only()) return kReadOnly;
  std::vector<uint32_t> clusters;
  if (node.first_cluster != 0) {
    const std::vector<uint32_t>* chain = nullptr;
    if (int32_t rc = m.chain_of(node.first_cluster, chain); rc != kOk) return rc;
    clusters = *chain;
  }
  return m.remove_entry(node, clusters);
}

int32_t Mount::repair(std::string_view path, const RepairOptions& options) {
  if (impl_->detached) return kIoError;
  // The repair writes into directories behind the indexes' backs.
  impl_->directories.clear();
  const int32_t result = repair_dirents(volume_, path, options);
  impl_->directories.clear();
  return result;
}

void Mount::inject_write_fault(uint64_t nth, bool persistent) { volume_.inject_write_fault(nth, persistent); }

}  // namespace vornos::fat32
