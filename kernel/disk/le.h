// Little-endian loads and stores of on-disk fields: partition tables here, the FAT32 volume above.
#pragma once

#include <cstdint>

namespace vornos::disk {

inline uint16_t load_le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t load_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t load_le64(const uint8_t* p) { return load_le32(p) | (uint64_t{load_le32(p + 4)} << 32); }

inline void store_le16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void store_le32(uint8_t* p, uint32_t v) {
  store_le16(p, static_cast<uint16_t>(v));
  store_le16(p + 2, static_cast<uint16_t>(v >> 16));
}

}  // namespace vornos::disk
