// The mount's file calls: reads and writes at offsets, and truncation.
#include <algorithm>
#include <cstring>

#include "fat32/chain_walker.h"
#include "fat32/errors.h"
#include "fat32/fat_table.h"
#include "fat32/mount.h"
#include "fat32/mount_impl.h"

namespace vornos::fat32 {

int32_t Mount::Impl::transfer(const std::vector<uint32_t>& chain, uint64_t position, uint8_t* read_into,
                              const uint8_t* write_from, size_t count) {
  const Geometry& g = volume.geometry();
  size_t done = 0;
  while (done < count) {
    const uint64_t at = position + done;
    size_t index = static_cast<size_t>(at / g.cluster_bytes);
    const uint32_t in_cluster = static_cast<uint32_t>(at % g.cluster_bytes);
    if (index >= chain.size()) return volume.report_inconsistency("a file is longer than its chain");
    // Extend over clusters that follow each other on disk: one transfer for the whole run.
    const size_t run = adjacent_run(chain, index, clusters_for(in_cluster + uint64_t{count - done}, g.cluster_bytes));
    const size_t piece = std::min<size_t>(run * g.cluster_bytes - in_cluster, count - done);
    const uint64_t offset = g.cluster_offset(chain[index]) + in_cluster;
    const int32_t rc = read_into != nullptr ? volume.read_at(offset, {read_into + done, piece})
                                            : volume.write_at(offset, {write_from + done, piece});
    if (rc != kOk) return rc;
    done += piece;
  }
  return kOk;
}

int32_t Mount::Impl::write_past(const std::vector<uint32_t>& chain, uint32_t size, uint64_t offset,
                                std::span<const uint8_t> data) {
  // Bytes between the old end and the offset read as zeros, whatever the clusters held.
  int32_t rc = kOk;
  if (offset > size) {
    const std::vector<uint8_t> zeros(std::min<uint64_t>(offset - size, kStagingFlushBytes), 0);
    for (uint64_t at = size; rc == kOk && at < offset; at += zeros.size()) {
      const size_t piece = static_cast<size_t>(std::min<uint64_t>(zeros.size(), offset - at));
      rc = transfer(chain, at, nullptr, zeros.data(), piece);
    }
  }
  if (rc == kOk) rc = transfer(chain, offset, nullptr, data.data(), data.size());
  return rc;
}

int32_t Mount::read(const NodeId& id, uint64_t offset, std::span<uint8_t> out) {
  Impl& m = *impl_;
  EntryPlace place;
  if (int32_t rc = m.load_entry(id, place); rc != kOk) return rc;
  if (place.entry.attributes & attr::kDirectory) return kIsDirectory;
  const uint32_t size = place.entry.size;
  if (offset >= size || out.empty()) return 0;
  const size_t count = static_cast<size_t>(std::min<uint64_t>({out.size(), size - offset, kMaxCount}));
  const std::vector<uint32_t>* chain = nullptr;
  if (int32_t rc = m.chains.find(place.entry.first_cluster(), chain); rc != kOk) return rc;
  if (int32_t rc = m.transfer(*chain, offset, out.data(), nullptr, count); rc != kOk) return rc;
  return static_cast<int32_t>(count);
}

int32_t Mount::write(const NodeId& id, uint64_t offset, std::span<const uint8_t> data) {
  Impl& m = *impl_;
  EntryPlace place;
  if (int32_t rc = m.load_entry(id, place); rc != kOk) return rc;
  if (place.entry.attributes & attr::kDirectory) return kIsDirectory;
  if (read_only()) return kReadOnly;
  if (data.empty()) return 0;
  if (data.size() > kMaxCount) data = data.first(kMaxCount);
  const uint64_t end = offset + data.size();
  if (offset > kMaxFileSize || end > kMaxFileSize) return kFileTooBig;

  const Geometry& g = volume_.geometry();
  const uint32_t size = place.entry.size;
  const uint32_t first = place.entry.first_cluster();
  std::vector<uint32_t> chain;  // taken out of the cache, not copied: a file may be written in many pieces
  if (first != 0) {
    if (int32_t rc = m.chains.take(first, chain); rc != kOk) return rc;
  }
  const size_t old_count = chain.size();
  if (old_count < clusters_for(size, g.cluster_bytes)) {
    return volume_.report_inconsistency("a file is longer than its chain");
  }
  if (int32_t rc = m.mark_dirty(); rc != kOk) return rc;
  const uint32_t needed = clusters_for(std::max<uint64_t>(size, end), g.cluster_bytes);
  std::vector<uint32_t> fresh;
  if (needed > old_count) {
    if (int32_t rc = m.pool.reserve(needed - static_cast<uint32_t>(old_count), fresh); rc != kOk) return rc;
    chain.insert(chain.end(), fresh.begin(), fresh.end());
  }

  int32_t rc = m.write_past(chain, size, offset, data);
  if (rc != kOk) {
    m.pool.release(fresh);
    return rc;
  }
  const uint32_t tail = old_count == 0 ? 0 : chain[old_count - 1];
  if (int32_t rc = m.pool.link(tail, fresh); rc != kOk) return rc;

  ShortEntry entry = place.entry;
  entry.size = static_cast<uint32_t>(std::max<uint64_t>(size, end));
  if (first == 0) set_first_cluster(entry, chain.front());
  touch(entry, dos_now());
  // An entry that grows the file must not reach the disk before the bytes it adds, or the file would
  // show whatever its clusters held before. Bytes written in place need no barrier: the file then
  // holds a mix of old and new, as with any write in place.
  rc = entry.size != size ? volume_.sync() : kOk;
  if (rc == kOk) rc = m.store_entry(place, entry);
  if (rc != kOk) {
    // The entry still describes the old file: take the new clusters off its chain again.
    if (tail != 0 && !fresh.empty() && m.pool.write({{tail, kFatEntryMask}}) != kOk) m.damaged = true;
    m.pool.free(fresh);
    return rc;
  }
  m.chains.remember(std::move(chain));
  return static_cast<int32_t>(data.size());
}

int32_t Mount::truncate(const NodeId& id) {
  Impl& m = *impl_;
  EntryPlace place;
  if (int32_t rc = m.load_entry(id, place); rc != kOk) return rc;
  if (place.entry.attributes & attr::kDirectory) return kIsDirectory;
  if (read_only()) return kReadOnly;
  std::vector<uint32_t> chain;
  if (int32_t rc = m.chains.copy(place.entry.first_cluster(), chain); rc != kOk) return rc;
  if (int32_t rc = m.mark_dirty(); rc != kOk) return rc;
  ShortEntry entry = place.entry;
  entry.size = 0;
  set_first_cluster(entry, 0);
  touch(entry, dos_now());
  if (int32_t rc = m.store_entry(place, entry); rc != kOk) return rc;
  m.pool.free(chain);
  return kOk;
}

}  // namespace vornos::fat32
