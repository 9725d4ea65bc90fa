/* Opening files. */
#ifndef VORNOS_FCNTL_H
#define VORNOS_FCNTL_H

#ifdef __cplusplus
extern "C" {
#endif

/* Access in the low two bits (O_ACCMODE), then the kernel's flags. */
#define O_RDONLY 0
#define O_WRONLY 0x1
#define O_RDWR 0x2
#define O_ACCMODE 0x3
#define O_CREAT 0x40
#define O_EXCL 0x80
#define O_TRUNC 0x200
#define O_APPEND 0x400

int open(const char *path, int flags, ...);
int creat(const char *path, int mode);

#ifdef __cplusplus
}
#endif

#endif
