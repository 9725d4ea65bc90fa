// Splitting the absolute '/'-separated paths that programs give the kernel.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fat32/dir_entry.h"

namespace vornos::fat32 {

inline constexpr size_t kMaxNameLength = kMaxLongNameLength;

// Splits `path` into its components, each decoded from UTF-8.
// - The path must start with '/': there is no current directory here (kInvalid otherwise, "" included).
// - Empty components are skipped as POSIX does: "//", "/a//b" and a trailing "/" are all accepted.
// - "." and ".." are kept; the lookup resolves them against the directories it walks through.
// - A component that is not UTF-8 is malformed (kInvalid); one longer than any FAT name can be is
//   kNameTooLong, as the file calls answer it.
int32_t split_path(std::string_view path, std::vector<std::u16string>& components);

// "/" + name for the root, parent + "/" + name below it; the name is written as UTF-8.
std::string join_path(const std::string& parent, std::u16string_view name);
// The same, in place.
void append_to_path(std::string& path, std::u16string_view name);

}  // namespace vornos::fat32
