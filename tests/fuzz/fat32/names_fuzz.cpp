// Fuzz target: the short entry a new name gets. The first byte picks the code page, the rest is the
// name as a program passes it (UTF-8). A name stored as the short entry alone must read back exactly;
// an alias must be found for every other name; neither may hold a byte a FAT driver never writes, nor
// a small letter of the page, and a second alias for the same name must differ from the first.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "fat32/errors.h"
#include "fat32/names.h"
#include "fat32/new_names.h"
#include "fat32/repair_rules.h"
#include "fat32/text.h"

using namespace vornos::fat32;

namespace {

void check_stored(const ShortName& name, const CodePage& page) {
  uint8_t raw[kDirEntrySize] = {};
  std::memcpy(raw, name.data(), kShortNameSize);
  raw[kAttrOffset] = attr::kArchive;
  if (implausible_entry(raw, 0) != nullptr || name[0] == kFreeEntryMark) std::abort();
  for (uint8_t byte : name) {
    if (page.upper(byte) != byte) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const CodePage& page = *kCodePages[data[0] % std::size(kCodePages)];
  std::u16string name;
  if (!utf8_to_utf16(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), name)) return 0;
  if (check_new_name(name) != kOk) return 0;
  ShortName stored;
  uint8_t nt_case = 0;
  if (plain_short_name(name, page, stored, nt_case)) {
    ShortEntry entry{};
    std::memcpy(entry.name, stored.data(), kShortNameSize);
    entry.nt_case = nt_case;
    if (short_name_text(entry, page) != name || (nt_case & ~(kLowerCaseBase | kLowerCaseExtension)) != 0) std::abort();
    check_stored(stored, page);
    return 0;
  }
  TakenShortNames taken;
  if (!short_alias(name, page, taken, stored)) std::abort();
  check_stored(stored, page);
  taken.insert(taken_key(stored.data(), page));
  ShortName second;
  if (!short_alias(name, page, taken, second) || second == stored) std::abort();
  check_stored(second, page);
  return 0;
}
