// Simple (one character to one character) upper and lower case of the letters names are usually
// written in: Latin (ASCII, Latin-1, Latin Extended-A, the hooked f), Greek and basic Cyrillic. Other
// characters have no case here and map to themselves.
#pragma once

namespace vornos::fat32 {

// Latin Extended-A pairs its cases in neighbours; which one of a pair is upper case changes between
// runs: the upper case is at an even place in U+0100..U+0137 and U+014A..U+0177, at an odd one in
// U+0139..U+0148 and U+0179..U+017E.
constexpr bool latin_extended_pair_upper_is_even(char16_t c) {
  return (c >= 0x0100 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177);
}
constexpr bool latin_extended_paired(char16_t c) {
  return (c >= 0x0100 && c <= 0x012F) || (c >= 0x0132 && c <= 0x0137) || (c >= 0x0139 && c <= 0x0148) ||
         (c >= 0x014A && c <= 0x0177) || (c >= 0x0179 && c <= 0x017E);
}

constexpr char16_t simple_upper(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c < 0x80) return c;
  if (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7) return static_cast<char16_t>(c - 0x20);
  if (latin_extended_paired(c)) {
    const bool is_upper = (c % 2 == 0) == latin_extended_pair_upper_is_even(c);
    return is_upper ? c : static_cast<char16_t>(c - 1);
  }
  if (c >= 0x03B1 && c <= 0x03CB && c != 0x03C2) return static_cast<char16_t>(c - 0x20);  // Greek α..ϋ
  if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 0x20);                 // Cyrillic а..я
  if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 0x50);                 // ѐ..џ
  if (c >= 0x03AD && c <= 0x03AF) return static_cast<char16_t>(c - 0x25);                 // έ ή ί
  switch (c) {
    case 0x00B5: return 0x039C;  // micro sign: Greek capital mu
    case 0x00FF: return 0x0178;  // ÿ
    case 0x0131: return u'I';    // dotless i
    case 0x017F: return u'S';    // long s
    case 0x0192: return 0x0191;  // ƒ
    case 0x03AC: return 0x0386;  // ά
    case 0x03C2: return 0x03A3;  // final sigma
    case 0x03CC: return 0x038C;  // ό
    case 0x03CD: return 0x038E;  // ύ
    case 0x03CE: return 0x038F;  // ώ
    default: return c;
  }
}

constexpr char16_t simple_lower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  if (c < 0x80) return c;
  if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return static_cast<char16_t>(c + 0x20);
  if (latin_extended_paired(c)) {
    const bool is_upper = (c % 2 == 0) == latin_extended_pair_upper_is_even(c);
    return is_upper ? static_cast<char16_t>(c + 1) : c;
  }
  if (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) return static_cast<char16_t>(c + 0x20);  // Greek Α..Ϋ
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);                 // Cyrillic А..Я
  if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);                 // Ѐ..Џ
  if (c >= 0x0388 && c <= 0x038A) return static_cast<char16_t>(c + 0x25);                 // Έ Ή Ί
  switch (c) {
    case 0x0130: return u'i';    // capital I with dot above
    case 0x0178: return 0x00FF;  // Ÿ
    case 0x0191: return 0x0192;  // Ƒ
    case 0x0386: return 0x03AC;  // Ά
    case 0x038C: return 0x03CC;  // Ό
    case 0x038E: return 0x03CD;  // Ύ
    case 0x038F: return 0x03CE;  // Ώ
    default: return c;
  }
}

}  // namespace vornos::fat32
