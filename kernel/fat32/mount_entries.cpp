// The entry store: reading, writing, adding and removing the short entries that files and directories
// are, and the dates new and written entries get.
#include <cstring>

#include "fat32/errors.h"
#include "fat32/mount.h"
#include "fat32/mount_impl.h"
#include "fat32/names.h"

namespace vornos::fat32 {

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

int32_t Mount::Impl::load_entry(const NodeId& id, EntryPlace& place) {
  if (detached) return kIoError;
  if (id.is_root()) return kIsDirectory;
  // Reads in a row ask for the same entry: while nothing was written, the sector read last still holds.
  if (last_entry_id == id && last_entry_writes == volume.io_stats().writes) {
    place = last_entry;
    return kOk;
  }
  const std::vector<uint32_t>* chain = nullptr;
  if (int32_t rc = chains.find(id.directory, chain); rc != kOk) return rc;
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

int32_t Mount::Impl::remove_entry(const Node& node, const std::vector<uint32_t>& chain) {
  if (int32_t rc = directories.load(node.id.directory); rc != kOk) return rc;
  if (int32_t rc = mark_dirty(); rc != kOk) return rc;
  if (int32_t rc = directories.remove(node.id.directory, node.id.index); rc != kOk) return rc;
  // The entry is gone: the call has done its work even if freeing fails (the clusters are then lost
  // and the volume stays marked for checking).
  pool.free(chain);
  return kOk;
}

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

}  // namespace vornos::fat32
