// The CRC-32 that GPT headers and entry arrays carry (reflected polynomial 0xEDB88320).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vornos::disk {

namespace detail {
constexpr std::array<uint32_t, 256> make_crc32_table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    uint32_t value = byte;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    table[byte] = value;
  }
  return table;
}
inline constexpr std::array<uint32_t, 256> kCrc32Table = make_crc32_table();
}  // namespace detail

// The CRC of `bytes`, continuing from `crc` (the result of the bytes before them; 0 to start).
constexpr uint32_t crc32(std::span<const uint8_t> bytes, uint32_t crc = 0) {
  crc = ~crc;
  for (const uint8_t byte : bytes) crc = detail::kCrc32Table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace vornos::disk
