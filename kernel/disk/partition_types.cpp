// Names of partition types for the lists the runner prints.
#include "disk/partition_types.h"

#include <cstdio>

namespace vornos::disk {

std::string guid_text(const Guid& g) {
  char text[40];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", g[3], g[2],
                g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
  return text;
}

std::string mbr_type_name(uint8_t type) {
  char code[8];
  std::snprintf(code, sizeof code, "0x%02x", type);
  switch (type) {
    case 0x0B: return std::string("FAT32 (CHS) ") + code;
    case 0x0C: return std::string("FAT32 (LBA) ") + code;
    case 0x1B: return std::string("hidden FAT32 (CHS) ") + code;
    case 0x1C: return std::string("hidden FAT32 (LBA) ") + code;
    case 0xEF: return std::string("EFI system ") + code;
    default: return std::string("type ") + code;
  }
}

std::string gpt_type_name(const Guid& type) {
  if (type == kGuidBasicData) return "Microsoft basic data";
  if (type == kGuidEfiSystem) return "EFI system";
  return "type " + guid_text(type);
}

}  // namespace vornos::disk
