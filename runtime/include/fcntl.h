/* Opening files. */
#ifndef VORNOS_FCNTL_H
#define VORNOS_FCNTL_H

#include "vornos/abi/open_flags.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Access in the low two bits (O_ACCMODE), then the kernel's flags. */
#define O_RDONLY VORNOS_ABI_O_RDONLY
#define O_WRONLY VORNOS_ABI_O_WRONLY
#define O_RDWR VORNOS_ABI_O_RDWR
#define O_ACCMODE VORNOS_ABI_O_ACCMODE
#define O_CREAT VORNOS_ABI_O_CREAT
#define O_EXCL VORNOS_ABI_O_EXCL
#define O_TRUNC VORNOS_ABI_O_TRUNC
#define O_APPEND VORNOS_ABI_O_APPEND

int open(const char *path, int flags, ...);
int creat(const char *path, int mode);

#ifdef __cplusplus
}
#endif

#endif
