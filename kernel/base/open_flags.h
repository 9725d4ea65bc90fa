// The bits of open's flags that this kernel acts on, as programs pass them (Linux's values).
#pragma once

#include <cstdint>

namespace vornos::kernel::open_flag {

inline constexpr uint32_t kAccessMask = 0x3;  // 0 read, 1 write, 2 both
inline constexpr uint32_t kCreate = 0x40;
inline constexpr uint32_t kExclusive = 0x80;
inline constexpr uint32_t kTruncate = 0x200;
inline constexpr uint32_t kAppend = 0x400;

}  // namespace vornos::kernel::open_flag
