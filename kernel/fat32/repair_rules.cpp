// Repair rules R1-R5.
#include "fat32/repair_rules.h"

namespace vornos::fat32 {

AttributeRepair repair_long_name_slot(uint8_t attributes) {
  if (attributes == attr::kLongName) return {attributes, nullptr};
  return {attr::kLongName, "R1"};
}

AttributeRepair repair_dot_entry(uint8_t attributes) {
  if ((attributes & attr::kDirectory) && !(attributes & attr::kVolumeLabel)) return {attributes, nullptr};
  return {static_cast<uint8_t>((attributes | attr::kDirectory) & ~attr::kVolumeLabel), "R2"};
}

AttributeRepair repair_short_entry(const ShortEntry& entry, bool directory_evidence) {
  const uint8_t a = entry.attributes;
  const bool directory = a & attr::kDirectory;
  const bool label = a & attr::kVolumeLabel;
  const uint32_t cluster = entry.first_cluster();
  if (directory && label) {
    if (directory_evidence) return {static_cast<uint8_t>(a & ~attr::kVolumeLabel), "R3"};
  } else if (label) {
    if (cluster != 0) return {static_cast<uint8_t>(a & ~attr::kVolumeLabel), "R4"};
  } else if (directory && !directory_evidence) {
    if (cluster != 0 || entry.size == 0) return {static_cast<uint8_t>(a & ~attr::kDirectory), "R5"};
  }
  return {a, nullptr};
}

}  // namespace vornos::fat32
