// A volume's OEM code page: what the bytes 0x80..0xFF of its short names mean, and their case. DOS,
// Windows, cameras and other systems write short names in the code page of their own setting; a run
// reads and writes them in the page it is given.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>

#include "fat32/code_page_tables.h"
#include "fat32/unicode_case.h"

namespace vornos::fat32 {

class CodePage {
 public:
  static constexpr size_t kHighBytes = 128;

  constexpr CodePage(uint16_t number, const char16_t (&high)[kHighBytes]) : number_(number), high_(high) {
    for (size_t i = 0; i < kHighBytes; ++i) {
      const auto byte = static_cast<uint8_t>(0x80 + i);
      upper_high_[i] = same_half_byte(simple_upper(decode(byte)), byte);
      lower_high_[i] = same_half_byte(simple_lower(decode(byte)), byte);
    }
  }

  constexpr uint16_t number() const { return number_; }

  constexpr char16_t decode(uint8_t byte) const { return byte < 0x80 ? char16_t{byte} : high_[byte - 0x80]; }
  // The byte that stands for `c`; false when the page lacks it.
  constexpr bool encode(char16_t c, uint8_t& byte) const {
    if (c < 0x80) {
      byte = static_cast<uint8_t>(c);
      return true;
    }
    for (size_t i = 0; i < kHighBytes; ++i) {
      if (high_[i] == c) {
        byte = static_cast<uint8_t>(0x80 + i);
        return true;
      }
    }
    return false;
  }

  // The page's own case: the byte of the character's upper (lower) case where the page has that
  // character, else the byte itself. Letters above 0x7F never map into ASCII (the dotless i stays
  // itself), so that a name's case can be recorded by the lower-case flags, which are only undone
  // within the page.
  constexpr uint8_t upper(uint8_t byte) const {
    if (byte < 0x80) return byte >= 'a' && byte <= 'z' ? static_cast<uint8_t>(byte - 0x20) : byte;
    return upper_high_[byte - 0x80];
  }
  constexpr uint8_t lower(uint8_t byte) const {
    if (byte < 0x80) return byte >= 'A' && byte <= 'Z' ? static_cast<uint8_t>(byte + 0x20) : byte;
    return lower_high_[byte - 0x80];
  }

  // Whether the case maps are each other's inverse on every cased byte: a short name upper-cased and
  // then lowered by its flags reads as the name that was stored.
  constexpr bool cases_pair_up() const {
    for (unsigned b = 0; b < 256; ++b) {
      const auto byte = static_cast<uint8_t>(b);
      if (upper(byte) != byte && lower(upper(byte)) != byte) return false;
      if (lower(byte) != byte && upper(lower(byte)) != byte) return false;
    }
    return true;
  }
  // Whether no two bytes stand for the same character, so that encode undoes decode.
  constexpr bool one_byte_per_character() const {
    for (size_t i = 0; i < kHighBytes; ++i) {
      uint8_t byte = 0;
      if (high_[i] < 0x80 || !encode(high_[i], byte) || byte != 0x80 + i) return false;
    }
    return true;
  }

 private:
  // The byte of `c` when it is in the page and in the same half as `byte`, else `byte`.
  constexpr uint8_t same_half_byte(char16_t c, uint8_t byte) const {
    uint8_t found = 0;
    return c >= 0x80 && encode(c, found) ? found : byte;
  }

  uint16_t number_;
  const char16_t* high_;
  std::array<uint8_t, kHighBytes> upper_high_{};
  std::array<uint8_t, kHighBytes> lower_high_{};
};

inline constexpr CodePage kCodePage437{437, code_page_tables::kPage437};
inline constexpr CodePage kCodePage850{850, code_page_tables::kPage850};
static_assert(kCodePage437.cases_pair_up() && kCodePage437.one_byte_per_character());
static_assert(kCodePage850.cases_pair_up() && kCodePage850.one_byte_per_character());

inline constexpr const CodePage* kCodePages[] = {&kCodePage437, &kCodePage850};
// The page of a run that chooses none: the US page of DOS and Windows, and Linux's default.
inline constexpr const CodePage& kDefaultCodePage = kCodePage437;

// The page numbered `number`, or null when it is not one of kCodePages.
constexpr const CodePage* find_code_page(unsigned number) {
  for (const CodePage* page : kCodePages) {
    if (page->number() == number) return page;
  }
  return nullptr;
}

}  // namespace vornos::fat32
