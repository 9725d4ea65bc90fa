/* open's flags and lseek's whence as programs pass them (Linux's values): the library's fcntl.h
 * and unistd.h name them, the kernel acts on them and the trace shows them by name. Macros,
 * because C programs test them with #if and #ifdef. */
#ifndef VORNOS_ABI_OPEN_FLAGS_H
#define VORNOS_ABI_OPEN_FLAGS_H

#define VORNOS_ABI_O_RDONLY 0
#define VORNOS_ABI_O_WRONLY 0x1
#define VORNOS_ABI_O_RDWR 0x2
#define VORNOS_ABI_O_ACCMODE 0x3 /* access in the low two bits: 0 read, 1 write, 2 both */
#define VORNOS_ABI_O_CREAT 0x40
#define VORNOS_ABI_O_EXCL 0x80
#define VORNOS_ABI_O_TRUNC 0x200
#define VORNOS_ABI_O_APPEND 0x400

#define VORNOS_ABI_SEEK_SET 0
#define VORNOS_ABI_SEEK_CUR 1
#define VORNOS_ABI_SEEK_END 2

#ifdef __cplusplus
#include <stdint.h>

namespace vornos::abi::open_flag {

inline constexpr uint32_t kAccessMask = VORNOS_ABI_O_ACCMODE;
inline constexpr uint32_t kReadOnly = VORNOS_ABI_O_RDONLY;
inline constexpr uint32_t kWriteOnly = VORNOS_ABI_O_WRONLY;
inline constexpr uint32_t kReadWrite = VORNOS_ABI_O_RDWR;
inline constexpr uint32_t kCreate = VORNOS_ABI_O_CREAT;
inline constexpr uint32_t kExclusive = VORNOS_ABI_O_EXCL;
inline constexpr uint32_t kTruncate = VORNOS_ABI_O_TRUNC;
inline constexpr uint32_t kAppend = VORNOS_ABI_O_APPEND;

}  // namespace vornos::abi::open_flag
#endif

#endif
