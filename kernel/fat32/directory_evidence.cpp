// The directory evidence test.
#include "fat32/directory_evidence.h"

#include "fat32/dir_entry.h"

namespace vornos::fat32 {

DirectoryEvidence directory_evidence(std::span<const uint8_t> bytes, uint32_t cluster, uint32_t parent,
                                     uint32_t root_cluster) {
  if (bytes.size() < 2 * kDirEntrySize || !has_short_name(bytes.data(), kDotName) ||
      !has_short_name(bytes.data() + kDirEntrySize, kDotDotName)) {
    return DirectoryEvidence::kNone;
  }
  const uint32_t dot = read_short_entry(bytes.data()).first_cluster();
  const uint32_t dot_dot = read_short_entry(bytes.data() + kDirEntrySize).first_cluster();
  const bool parent_fits = dot_dot == parent || (parent == 0 && root_cluster != 0 && dot_dot == root_cluster);
  return dot == cluster && parent_fits ? DirectoryEvidence::kConsistent : DirectoryEvidence::kDotNames;
}

}  // namespace vornos::fat32
