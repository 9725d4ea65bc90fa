// Hexadecimal text as the debugger's protocol writes numbers and bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vornos::debug {

// The value of one hex digit (either case); -1 for another character.
int hex_digit_value(uint8_t c);
// Two lower-case digits per byte, in the order given.
std::string hex_encode(std::span<const uint8_t> bytes);
// Pairs of digits into bytes; nothing for an odd length or a character that is no digit.
std::optional<std::vector<uint8_t>> hex_decode(std::string_view text);
// A number of at most 8 digits, most significant first; nothing when empty, too long or not hex.
std::optional<uint32_t> parse_hex_u32(std::string_view text);
// The number in lower-case hex without leading zeros ("0" for zero).
std::string hex_u32(uint32_t value);
// One byte as two digits.
std::string hex_byte(uint8_t value);

}  // namespace vornos::debug
