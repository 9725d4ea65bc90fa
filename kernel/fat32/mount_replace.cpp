// Crash-safe whole-file replacement: staged content in clusters nothing points at, then one entry write.
#include <algorithm>

#include "fat32/errors.h"
#include "fat32/fat_table.h"
#include "fat32/mount.h"
#include "fat32/mount_impl.h"

namespace vornos::fat32 {

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
  if (int32_t rc = chains.copy(node.first_cluster, old_chain); rc != kOk) return rc;
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
