// Conversions between the UCS-2/UTF-16 of long names and the UTF-8 of paths, and case-blind comparison.
#pragma once

#include <string>
#include <string_view>

namespace vornos::fat32 {

std::string utf16_to_utf8(std::u16string_view text);
// False when `text` is not valid UTF-8 (overlong forms, stray continuation bytes, truncated sequences).
bool utf8_to_utf16(std::string_view text, std::u16string& out);

// Folds letters to their simple upper case (see unicode_case.h), as FAT compares names without regard
// to case.
char16_t fold_case(char16_t c);
bool equal_ignoring_case(std::u16string_view a, std::u16string_view b);

}  // namespace vornos::fat32
