/* The error number; only the heap sets it. */
#ifndef VORNOS_ERRNO_H
#define VORNOS_ERRNO_H

#ifdef __cplusplus
extern "C" {
#endif

#define ENOENT 2
#define ENOMEM 12
#define EINVAL 22
#define ENOSYS 38

extern int errno;

#ifdef __cplusplus
}
#endif

#endif
