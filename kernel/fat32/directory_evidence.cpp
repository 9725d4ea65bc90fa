// The directory evidence test.
#include "fat32/directory_evidence.h"

#include "fat32/dir_entry.h"

namespace vornos::fat32 {

bool begins_as_directory(std::span<const uint8_t> bytes, uint32_t cluster) {
  if (bytes.size() < 2 * kDirEntrySize) return false;
  if (!has_short_name(bytes.data(), kDotName)) return false;
  if (!has_short_name(bytes.data() + kDirEntrySize, kDotDotName)) return false;
  return read_short_entry(bytes.data()).first_cluster() == cluster;
}

}  // namespace vornos::fat32
