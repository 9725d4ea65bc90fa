/* The system's basic types: 32 bits wide, as int and pointers are. Files are under 2 GiB
 * (lseek takes a signed 32-bit offset), so off_t is 32 bits too. */
#ifndef VORNOS_SYS_TYPES_H
#define VORNOS_SYS_TYPES_H

#include <stddef.h>

typedef int ssize_t;
typedef int off_t;
typedef int pid_t;
typedef unsigned int mode_t;
typedef long time_t;
typedef unsigned int uid_t;
typedef unsigned int gid_t;
/* 64 bits: a directory's first cluster or an entry's place, with room for both. */
typedef unsigned long long ino_t;
typedef unsigned int dev_t;
typedef unsigned int nlink_t;
typedef int blksize_t;
typedef int blkcnt_t;

#endif
