// Path resolution for the mount's calls: checked components, nodes, and the parent of a new name.
#include "fat32/errors.h"
#include "fat32/mount.h"
#include "fat32/mount_impl.h"
#include "fat32/new_names.h"
#include "fat32/text.h"

namespace vornos::fat32 {

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

int32_t Mount::lookup(std::string_view path, Node& node) { return impl_->resolve(path, node); }

}  // namespace vornos::fat32
