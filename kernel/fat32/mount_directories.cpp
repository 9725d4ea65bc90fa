// The mount's calls that change directories: open with create, mkdir, rmdir, unlink.
#include <cstring>

#include "fat32/errors.h"
#include "fat32/mount.h"
#include "fat32/mount_impl.h"
#include "fat32/names.h"
#include "fat32/path.h"

namespace vornos::fat32 {

int32_t Mount::Impl::prepare_new_entry(std::string_view path, bool for_directory, NewName& target,
                                       uint32_t& parent_cluster) {
  if (int32_t rc = split_new(path, for_directory, target); rc != kOk) return rc;
  if (volume.read_only()) return kReadOnly;
  parent_cluster = target.parent.directory_cluster(volume.root_cluster());
  if (int32_t rc = directories.load(parent_cluster); rc != kOk) return rc;
  return mark_dirty();
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
  uint32_t parent_cluster = 0;
  if (int32_t rc = m.prepare_new_entry(path, false, target, parent_cluster); rc != kOk) return rc;
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
  uint32_t parent_cluster = 0;
  if (int32_t rc = m.prepare_new_entry(path, true, target, parent_cluster); rc != kOk) return rc;
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
  std::vector<uint32_t> clusters;
  if (int32_t rc = m.chains.copy(node.first_cluster, clusters); rc != kOk) return rc;
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
  if (int32_t rc = m.chains.copy(node.first_cluster, clusters); rc != kOk) return rc;
  return m.remove_entry(node, clusters);
}

}  // namespace vornos::fat32
