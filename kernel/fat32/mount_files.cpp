// The mount's file calls: reads and writes at offsets, truncation, and crash-safe whole-file replacement.
#include <algorithm>
#include <cstring>

#include "fat32/errors.h"
#include "vornos/abi/limits.h"
#include "fat32/fat_table.h"
#include "fat32/mount.h"
#include "fat32/mount_impl.h"

namespace vornos::fat32 {

namespace {

constexpr uint64_t kMaxFileSize = 0xFFFFFFFF;
constexpr uint32_t kMaxCount = abi::kLargestCount;  // a count must fit a non-negative result
// Staged content goes to disk in pieces of this size, so a long replacement holds little memory.
constexpr size_t kStagingFlushBytes = size_t{1} << 20;

uint32_t clusters_for(uint64_t bytes, uint32_t cluster_bytes) {
  return static_cast<uint32_t>((bytes + cluster_bytes - 1) / cluster_bytes);
}

}  // namespace

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
    size_t run = 1;
    while (index + run < chain.size() && chain[index + run] == chain[index] + run &&
           run * g.cluster_bytes - in_cluster < count - done) {
      ++run;
    }
    const size_t piece = std::min<size_t>(run * g.cluster_bytes - in_cluster, count - done);
    const uint64_t offset = g.cluster_offset(chain[index]) + in_cluster;
    const int32_t rc = read_into != nullptr ? volume.read_at(offset, {read_into + done, piece})
                                            : volume.write_at(offset, {write_from + done, piece});
    if (rc != kOk) return rc;
    done += piece;
  }
  return kOk;
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
  if (int32_t rc = m.chain_of(place.entry.first_cluster(), chain); rc != kOk) return rc;
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
    if (int32_t rc = m.take_chain(first, chain); rc != kOk) return rc;
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

  // Bytes between the old end and the offset read as zeros, whatever the clusters held.
  int32_t rc = kOk;
  if (offset > size) {
    const std::vector<uint8_t> zeros(std::min<uint64_t>(offset - size, kStagingFlushBytes), 0);
    for (uint64_t at = size; rc == kOk && at < offset; at += zeros.size()) {
      const size_t piece = static_cast<size_t>(std::min<uint64_t>(zeros.size(), offset - at));
      rc = m.transfer(chain, at, nullptr, zeros.data(), piece);
    }
  }
  if (rc == kOk) rc = m.transfer(chain, offset, nullptr, data.data(), data.size());
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
  m.remember_chain(std::move(chain));
  return static_cast<int32_t>(data.size());
}

int32_t Mount::truncate(const NodeId& id) {
  Impl& m = *impl_;
  EntryPlace place;
  if (int32_t rc = m.load_entry(id, place); rc != kOk) return rc;
  if (place.entry.attributes & attr::kDirectory) return kIsDirectory;
  if (read_only()) return kReadOnly;
  std::vector<uint32_t> chain;
  if (const uint32_t first = place.entry.first_cluster(); first != 0) {
    const std::vector<uint32_t>* cached = nullptr;
    if (int32_t rc = m.chain_of(first, cached); rc != kOk) return rc;
    chain = *cached;
  }
  if (int32_t rc = m.mark_dirty(); rc != kOk) return rc;
  ShortEntry entry = place.entry;
  entry.size = 0;
  set_first_cluster(entry, 0);
  touch(entry, dos_now());
  if (int32_t rc = m.store_entry(place, entry); rc != kOk) return rc;
  m.pool.free(chain);
  return kOk;
}

// --- Whole-file replacement ---

int32_t Mount::Impl::check_replace_target(std::string_view path, bool& exists, Node& node, NewName& target) {
  const int32_t found = resolve(path, node);
  exists = found == kOk;
  if (exists) {
    if (node.is_directory) return kIsDirectory;
    if (node.read_only()) return kAccess;
  } else {
    if (found != kNoEntry) return found;
    if (int32_t rc = split_new(path, false, target); rc != kOk) return rc;
  }
  return volume.read_only() ? kReadOnly : kOk;
}

int32_t Mount::begin_replace(std::string_view path) {
  Impl& m = *impl_;
  bool exists = false;
  Node node;
  NewName target;
  if (int32_t rc = m.check_replace_target(path, exists, node, target); rc != kOk) return rc;
  const int32_t handle = m.next_handle;
  m.next_handle = m.next_handle == kMaxCount ? 1 : m.next_handle + 1;
  m.stagings[handle] = Staging{std::string(path), {}, {}, 0};
  return handle;
}

int32_t Mount::Impl::flush(Staging& staging, bool last) {
  const uint32_t cluster_bytes = volume.geometry().cluster_bytes;
  const uint32_t count = last ? clusters_for(staging.pending.size(), cluster_bytes)
                              : static_cast<uint32_t>(staging.pending.size() / cluster_bytes);
  if (count == 0) return kOk;
  if (int32_t rc = mark_dirty(); rc != kOk) return rc;
  std::vector<uint32_t> fresh;
  if (int32_t rc = pool.reserve(count, fresh); rc != kOk) return rc;
  const size_t bytes = std::min<size_t>(size_t{count} * cluster_bytes, staging.pending.size());
  staging.pending.resize(std::max(staging.pending.size(), size_t{count} * cluster_bytes), 0);
  if (int32_t rc = transfer(fresh, 0, nullptr, staging.pending.data(), size_t{count} * cluster_bytes); rc != kOk) {
    staging.pending.resize(staging.pending.size() - (size_t{count} * cluster_bytes - bytes));
    pool.release(fresh);
    return rc;
  }
  const auto written_end = staging.pending.begin() + static_cast<std::ptrdiff_t>(size_t{count} * cluster_bytes);
  staging.pending.erase(staging.pending.begin(), written_end);
  staging.clusters.insert(staging.clusters.end(), fresh.begin(), fresh.end());
  return kOk;
}

int32_t Mount::append(int32_t handle, std::span<const uint8_t> data) {
  Impl& m = *impl_;
  auto it = m.stagings.find(handle);
  if (it == m.stagings.end()) return kBadHandle;
  Staging& staging = it->second;
  if (staging.size + data.size() > kMaxFileSize) return kFileTooBig;
  staging.pending.insert(staging.pending.end(), data.begin(), data.end());
  staging.size += data.size();
  if (staging.pending.size() >= kStagingFlushBytes) {
    if (int32_t rc = m.flush(staging, false); rc != kOk) {
      // Nothing of this piece is kept: the replacement holds what it held before the call.
      staging.pending.resize(staging.pending.size() - data.size());
      staging.size -= data.size();
      return rc;
    }
  }
  return kOk;
}

int32_t Mount::abandon(int32_t handle) {
  Impl& m = *impl_;
  auto it = m.stagings.find(handle);
  if (it == m.stagings.end()) return kBadHandle;
  m.pool.release(it->second.clusters);
  m.stagings.erase(it);
  return kOk;
}

int32_t Mount::commit(int32_t handle) {
  Impl& m = *impl_;
  auto it = m.stagings.find(handle);
  if (it == m.stagings.end()) return kBadHandle;
  Staging staging = std::move(it->second);
  m.stagings.erase(it);
  const int32_t rc = m.commit(staging);
  if (rc != kOk) m.pool.release(staging.clusters);
  return rc;
}

int32_t Mount::Impl::commit(Staging& staging) {
  if (int32_t rc = flush(staging, true); rc != kOk) return rc;
  bool exists = false;
  Node node;
  NewName target;
  if (int32_t rc = check_replace_target(staging.path, exists, node, target); rc != kOk) return rc;
  const uint32_t first = staging.clusters.empty() ? 0 : staging.clusters.front();
  const uint32_t size = static_cast<uint32_t>(staging.size);
  if (int32_t rc = mark_dirty(); rc != kOk) return rc;

  if (!exists) {
    const uint32_t parent_cluster = target.parent.directory_cluster(volume.root_cluster());
    if (int32_t rc = directories.load(parent_cluster); rc != kOk) return rc;
    if (int32_t rc = pool.link(0, staging.clusters); rc != kOk) return rc;
    uint32_t index = 0;
    if (int32_t rc = add_entry(parent_cluster, target.name, new_short_entry(attr::kArchive, first, size, dos_now()), index);
        rc != kOk) {
      pool.free(staging.clusters);
      return rc;
    }
    staging.clusters.clear();
    return kOk;
  }

  EntryPlace place;
  if (int32_t rc = load_entry(node.id, place); rc != kOk) return rc;
  std::vector<uint32_t> old_chain;
  if (node.first_cluster != 0) {
    const std::vector<uint32_t>* cached = nullptr;
    if (int32_t rc = chain_of(node.first_cluster, cached); rc != kOk) return rc;
    old_chain = *cached;
  }
  if (int32_t rc = pool.link(0, staging.clusters); rc != kOk) return rc;
  // The new content and its chain must be on the disk before the entry points at them.
  int32_t rc = volume.sync();
  if (rc == kOk) {
    ShortEntry entry = place.entry;
    entry.size = size;
    set_first_cluster(entry, first);
    touch(entry, dos_now());
    rc = store_entry(place, entry);
  }
  if (rc != kOk) {
    pool.free(staging.clusters);
    return rc;
  }
  staging.clusters.clear();
  pool.free(old_chain);
  return kOk;
}

int32_t Mount::replace(std::string_view path, std::span<const uint8_t> content) {
  const int32_t handle = begin_replace(path);
  if (handle < 0) return handle;
  if (int32_t rc = append(handle, content); rc != kOk) {
    abandon(handle);
    return rc;
  }
  return commit(handle);
}

}  // namespace vornos::fat32
