// Result codes of the volume layer; they are the codes the kernel hands to programs.
#pragma once

#include <cstdint>

namespace vornos::fat32 {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoEntry = -2;       // a path component does not exist
inline constexpr int32_t kIoError = -5;       // unreadable or inconsistent volume
inline constexpr int32_t kNotDirectory = -20; // a component names something that is not a directory
inline constexpr int32_t kInvalid = -22;      // not absolute, or malformed
inline constexpr int32_t kReadOnly = -30;     // a write is needed but the volume is read-only

}  // namespace vornos::fat32
