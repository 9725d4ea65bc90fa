// Little-endian loads of the fields partition tables store.
#pragma once

#include <cstdint>

namespace vornos::disk {

inline uint16_t load_le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t load_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t load_le64(const uint8_t* p) { return load_le32(p) | (uint64_t{load_le32(p + 4)} << 32); }

}  // namespace vornos::disk
