/* Limits that the library and the kernel both build on. */
#ifndef VORNOS_ABI_LIMITS_H
#define VORNOS_ABI_LIMITS_H

#ifdef __cplusplus
#include <stdint.h>

namespace vornos::abi {

/* The largest count a call takes: a full result must fit the non-negative half of the signed
 * result, so the library clamps larger counts to it and the kernel never answers more. */
inline constexpr uint32_t kLargestCount = 0x7fffffff;

/* The page: the unit of mappings and of the program's memory. */
inline constexpr uint32_t kPageSize = 4096;

/* The longest name of a file or directory, in UTF-16 units (what a FAT long name holds);
 * a longer path component answers -36. */
inline constexpr uint32_t kLongestName = 255;

/* The longest path a call takes, NUL excluded (Linux's PATH_MAX of 4096 counts the NUL);
 * a longer one answers -36. */
inline constexpr uint32_t kLongestPath = 4095;

}  // namespace vornos::abi
#endif

#endif
