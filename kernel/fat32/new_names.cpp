// Name checks and short aliases for new entries.
#include "fat32/new_names.h"

#include <algorithm>

#include "fat32/errors.h"
#include "fat32/names.h"
#include "fat32/unicode_case.h"

namespace vornos::fat32 {

namespace {

bool forbidden(char16_t c) {
  return c < 0x20 || c == 0x7F || std::u16string_view(u"\"*/:<>?\\|").find(c) != std::u16string_view::npos;
}

// Characters a short name may hold besides letters and digits.
bool short_name_special(char16_t c) {
  return std::u16string_view(u"!#$%&'()-@^_`{}~").find(c) != std::u16string_view::npos;
}

bool plain_short_char(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || short_name_special(c);
}

// The byte of `c` in a short name, upper-cased in `page`: ASCII that a short name may hold, or a
// character whose upper case the page has above 0x7F.
bool upper_case_byte(char16_t c, const CodePage& page, uint8_t& byte) {
  const char16_t upper = simple_upper(c);
  if (upper < 0x80) {
    byte = static_cast<uint8_t>(upper);
    return plain_short_char(upper);
  }
  return page.encode(upper, byte);
}

// A character of an alias: its upper-case byte, or '_' for what a short name cannot hold.
uint8_t alias_byte(char16_t c, const CodePage& page) {
  uint8_t byte = 0;
  return upper_case_byte(c, page, byte) ? byte : '_';
}

}  // namespace

int32_t check_new_name(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return kInvalid;
  if (name.size() > kMaxLongNameLength) return kNameTooLong;
  for (char16_t c : name) {
    if (forbidden(c)) return kInvalid;
  }
  if (name.back() == u'.' || name.back() == u' ') return kInvalid;
  return kOk;
}

bool plain_short_name(std::u16string_view name, const CodePage& page, ShortName& out, uint8_t& nt_case) {
  const size_t dot = name.find(u'.');
  const std::u16string_view base = name.substr(0, dot);
  const std::u16string_view extension = dot == std::u16string_view::npos ? u"" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
  if (dot != std::u16string_view::npos && extension.empty()) return false;
  out.fill(' ');
  nt_case = 0;
  // Each part in one case, which the NT byte can record; a part in mixed case needs a long name.
  auto store = [&](std::u16string_view part, size_t at, uint8_t lower_bit) {
    bool lower = false, upper = false;
    for (char16_t c : part) {
      uint8_t byte = 0;
      // A character outside ASCII whose upper case is ASCII (the dotless i) would come back as another.
      if (!upper_case_byte(c, page, byte) || (c >= 0x80) != (byte >= 0x80)) return false;
      lower |= simple_upper(c) != c;
      upper |= simple_lower(c) != c;
      out[at++] = byte;
    }
    if (lower) nt_case |= lower_bit;
    return !(lower && upper);
  };
  if (!store(base, 0, kLowerCaseBase) || !store(extension, 8, kLowerCaseExtension)) return false;
  if (out[0] == kFreeEntryMark) out[0] = kEscapedE5Mark;
  // Only a name that reads back as it was given is stored without a long name.
  ShortEntry entry{};
  std::copy(out.begin(), out.end(), entry.name);
  entry.nt_case = nt_case;
  return short_name_text(entry, page) == name;
}

std::string taken_key(const uint8_t* short_name, const CodePage& page) {
  std::string key(kShortNameSize, ' ');
  for (size_t i = 0; i < kShortNameSize; ++i) key[i] = static_cast<char>(page.upper(short_name[i]));
  return key;
}

bool short_alias(std::u16string_view name, const CodePage& page, const TakenShortNames& taken, ShortName& out,
                 uint32_t first_tail) {
  while (!name.empty() && name.front() == u'.') name.remove_prefix(1);
  const size_t dot = name.rfind(u'.');
  std::string base;
  std::string extension;
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c == u' ' || (c == u'.' && i != dot)) continue;
    if (dot != std::u16string_view::npos && i >= dot) {
      if (i > dot && extension.size() < 3) extension += static_cast<char>(alias_byte(c, page));
    } else if (base.size() < 6) {
      base += static_cast<char>(alias_byte(c, page));
    }
  }
  if (base.empty()) base = "_";
  for (uint32_t n = std::max<uint32_t>(first_tail, 1); n <= 999999; ++n) {
    const std::string tail = "~" + std::to_string(n);
    const std::string stem = base.substr(0, std::min(base.size(), 8 - tail.size())) + tail;
    out.fill(' ');
    std::copy(stem.begin(), stem.end(), out.begin());
    std::copy(extension.begin(), extension.end(), out.begin() + 8);
    if (out[0] == kFreeEntryMark) out[0] = kEscapedE5Mark;
    if (!taken.contains(taken_key(out.data(), page))) return true;
  }
  return false;
}

}  // namespace vornos::fat32
