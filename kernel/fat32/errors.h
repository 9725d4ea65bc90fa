// Result codes of the volume layer; they are the codes the kernel hands to programs, from the
// shared list of error codes.
#pragma once

#include <cstdint>

#include "vornos/abi/errors.h"

namespace vornos::fat32 {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoEntry = abi::error::kNoSuchFile;          // a path component does not exist
inline constexpr int32_t kIoError = abi::error::kIoError;             // unreadable or inconsistent volume
inline constexpr int32_t kBadHandle = abi::error::kBadDescriptor;     // no such open replacement
inline constexpr int32_t kAccess = abi::error::kAccessDenied;         // a read-only file opened or replaced for writing
inline constexpr int32_t kBusy = abi::error::kBusy;                   // the root cannot be removed
inline constexpr int32_t kExists = abi::error::kExists;               // the name exists already
inline constexpr int32_t kNotDirectory = abi::error::kNotDirectory;   // a component names something that is not a directory
inline constexpr int32_t kIsDirectory = abi::error::kIsDirectory;     // a directory where a file is needed
inline constexpr int32_t kInvalid = abi::error::kInvalidArgument;     // not absolute, or malformed
inline constexpr int32_t kFileTooBig = abi::error::kFileTooBig;       // a file would pass the 4 GiB - 1 bytes FAT can hold
inline constexpr int32_t kNoSpace = abi::error::kNoSpace;             // no free cluster left (or the directory is full)
inline constexpr int32_t kReadOnly = abi::error::kReadOnlyVolume;     // a write is needed but the volume is read-only
inline constexpr int32_t kNameTooLong = abi::error::kNameTooLong;     // a path component over 255 characters
inline constexpr int32_t kNotImplemented = abi::error::kNotImplemented;
inline constexpr int32_t kNotEmpty = abi::error::kNotEmpty;           // a directory to remove holds entries

}  // namespace vornos::fat32
