// Mount::list_directory: the entries of a directory a descriptor holds, for reading it.
#include "fat32/errors.h"
#include "fat32/mount.h"

namespace vornos::fat32 {

int32_t Mount::list_directory(const NodeId& id, std::vector<DirEntryInfo>& entries) {
  entries.clear();
  Node now;
  if (int32_t rc = node(id, now); rc != kOk) return rc;
  if (!now.is_directory) return kNotDirectory;
  // The file calls refuse a directory longer than any may be, as they do for lookups and changes.
  return volume_.list_directory(now.first_cluster, entries, true);
}

}  // namespace vornos::fat32
