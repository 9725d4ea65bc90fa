// Name checks and short aliases for new entries.
#include "fat32/new_names.h"

#include <algorithm>

#include "fat32/errors.h"

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

// A character of an alias: upper case, or '_' for what a short name cannot hold.
uint8_t alias_char(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<uint8_t>(c - 0x20);
  if (c > 0x7F || std::u16string_view(u"+,;=[]").find(c) != std::u16string_view::npos) return '_';
  return static_cast<uint8_t>(c);
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

bool plain_short_name(std::u16string_view name, ShortName& out, uint8_t& nt_case) {
  constexpr uint8_t kLowerBase = 0x08;
  constexpr uint8_t kLowerExtension = 0x10;
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
      const bool is_lower = c >= u'a' && c <= u'z';
      if (!is_lower && !plain_short_char(c)) return false;
      lower |= is_lower;
      upper |= c >= u'A' && c <= u'Z';
      out[at++] = static_cast<uint8_t>(is_lower ? c - 0x20 : c);
    }
    if (lower) nt_case |= lower_bit;
    return !(lower && upper);
  };
  return store(base, 0, kLowerBase) && store(extension, 8, kLowerExtension);
}

std::string taken_key(const uint8_t* short_name) {
  std::string key(reinterpret_cast<const char*>(short_name), kShortNameSize);
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  return key;
}

bool short_alias(std::u16string_view name, const TakenShortNames& taken, ShortName& out, uint32_t first_tail) {
  while (!name.empty() && name.front() == u'.') name.remove_prefix(1);
  const size_t dot = name.rfind(u'.');
  std::string base;
  std::string extension;
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c == u' ' || (c == u'.' && i != dot)) continue;
    if (dot != std::u16string_view::npos && i >= dot) {
      if (i > dot && extension.size() < 3) extension += static_cast<char>(alias_char(c));
    } else if (base.size() < 6) {
      base += static_cast<char>(alias_char(c));
    }
  }
  if (base.empty()) base = "_";
  for (uint32_t n = std::max<uint32_t>(first_tail, 1); n <= 999999; ++n) {
    const std::string tail = "~" + std::to_string(n);
    const std::string stem = base.substr(0, std::min(base.size(), 8 - tail.size())) + tail;
    out.fill(' ');
    std::copy(stem.begin(), stem.end(), out.begin());
    std::copy(extension.begin(), extension.end(), out.begin() + 8);
    if (!taken.contains(taken_key(out.data()))) return true;
  }
  return false;
}

}  // namespace vornos::fat32
