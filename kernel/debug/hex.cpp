// Hexadecimal text as the debugger's protocol writes numbers and bytes.
#include "debug/hex.h"

namespace vornos::debug {
namespace {

constexpr char kDigits[] = "0123456789abcdef";

}  // namespace

int hex_digit_value(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string hex_encode(std::span<const uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) text += hex_byte(byte);
  return text;
}

std::optional<std::vector<uint8_t>> hex_decode(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = hex_digit_value(static_cast<uint8_t>(text[i]));
    const int low = hex_digit_value(static_cast<uint8_t>(text[i + 1]));
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::optional<uint32_t> parse_hex_u32(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    const int digit = hex_digit_value(static_cast<uint8_t>(c));
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

std::string hex_u32(uint32_t value) {
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return text;
}

std::string hex_byte(uint8_t value) { return {kDigits[value >> 4], kDigits[value & 0xF]}; }

}  // namespace vornos::debug
