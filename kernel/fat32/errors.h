// Result codes of the volume layer; they are the codes the kernel hands to programs.
#pragma once

#include <cstdint>

namespace vornos::fat32 {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoEntry = -2;       // a path component does not exist
inline constexpr int32_t kIoError = -5;       // unreadable or inconsistent volume
inline constexpr int32_t kBadHandle = -9;     // no such open replacement
inline constexpr int32_t kAccess = -13;       // a read-only file opened or replaced for writing
inline constexpr int32_t kBusy = -16;         // the root cannot be removed
inline constexpr int32_t kExists = -17;       // the name exists already
inline constexpr int32_t kNotDirectory = -20; // a component names something that is not a directory
inline constexpr int32_t kIsDirectory = -21;  // a directory where a file is needed
inline constexpr int32_t kInvalid = -22;      // not absolute, or malformed
inline constexpr int32_t kFileTooBig = -27;   // a file would pass the 4 GiB - 1 bytes FAT can hold
inline constexpr int32_t kNoSpace = -28;      // no free cluster left (or the directory is full)
inline constexpr int32_t kReadOnly = -30;     // a write is needed but the volume is read-only
inline constexpr int32_t kNameTooLong = -36;  // a path component over 255 characters
inline constexpr int32_t kNotImplemented = -38;
inline constexpr int32_t kNotEmpty = -39;     // a directory to remove holds entries

}  // namespace vornos::fat32
