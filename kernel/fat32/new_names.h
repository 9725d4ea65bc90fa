// Names for new entries: which names FAT can store, which need long-name slots, and the unique short
// alias that goes with a long name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "fat32/code_page.h"
#include "fat32/dir_entry.h"

namespace vornos::fat32 {

using ShortName = std::array<uint8_t, kShortNameSize>;

// kOk when `name` may name a new entry; kInvalid for "", "." and "..", control characters, any of
// "*/:<>?\| and a name ending in '.' or ' ' (readers strip those, so the entry could not be found
// again); kNameTooLong past 255 characters.
int32_t check_new_name(std::u16string_view name);

// True when `name` is an 8.3 name whose base and extension are each in one case and whose upper case
// `page` holds ("README.TXT", "A-1", "readme.txt", "README.txt", "\u00fc.txt"): it is stored as the short
// entry alone, as Windows NT, Linux and mtools store it: `out` holds its 11 bytes upper-cased in `page`
// (a leading 0xE5 written as 0x05) and `nt_case` the lower-case flags for the NT byte. A name the short
// entry would not give back exactly (a character whose upper case the page lacks or that is ASCII, as
// the dotless i's) is not one.
bool plain_short_name(std::u16string_view name, const CodePage& page, ShortName& out, uint8_t& nt_case);

// The short names taken in a directory, upper-cased in the volume's code page, as 11-byte strings.
using TakenShortNames = std::unordered_set<std::string>;
std::string taken_key(const uint8_t* short_name, const CodePage& page);

// The alias of a long name: the name upper-cased, spaces and leading dots dropped, "+,;=[]" and
// characters whose upper case `page` lacks replaced by '_', up to 6 characters of the base and 3 of the
// extension (after the last dot), and the lowest "~N" tail (the base shortened as N grows) not in
// `taken`, from `first_tail` on (the tails below it known to be taken). False only when every tail up
// to ~999999 is taken.
bool short_alias(std::u16string_view name, const CodePage& page, const TakenShortNames& taken, ShortName& out,
                 uint32_t first_tail = 1);

}  // namespace vornos::fat32
