// The repair rules for attribute bytes of directory entries, as pure decisions on one entry.
#pragma once

#include <cstdint>

#include "fat32/dir_entry.h"

namespace vornos::fat32 {

struct AttributeRepair {
  uint8_t attributes;     // the byte as it should be
  const char* rule;       // which rule changed it, nullptr when it is left as it is
};

// R1: a long-name slot ((attr & 0x3F) == 0x0F) whose byte carries a stray 0x40/0x80: readers take it for a
// label and lose the name, so it becomes exactly 0x0F.
AttributeRepair repair_long_name_slot(uint8_t attributes);

// R2: the "." (slot 0) or ".." (slot 1) entry of a directory other than the root must be a directory and
// not a label, or Linux refuses the whole directory.
AttributeRepair repair_dot_entry(uint8_t attributes);

// R3-R5 for any other short entry. `directory_evidence` is whether its start cluster begins like a
// directory (see begins_as_directory); it only matters when the directory bit is set.
// R3: directory + label bits with directory evidence: a directory; clear the label bit.
// R4: label bit without directory bit but owning clusters: a file hidden by a stray bit; clear it.
// R5: directory bit without evidence on an entry with clusters, or with neither clusters nor size: a
//     file marked as a directory (fsck would truncate it as a broken directory); clear the bit.
// The reserved bits 0x40/0x80 of short entries are never touched: some systems give them meaning.
AttributeRepair repair_short_entry(const ShortEntry& entry, bool directory_evidence);

}  // namespace vornos::fat32
