/* The error number, and the standard names of the error codes: kernel calls answer an
 * error with the negated code (-ENOENT), the heap leaves ENOMEM in errno. strerror has its
 * own short texts for a few of them and "error" for the rest. */
#ifndef VORNOS_ERRNO_H
#define VORNOS_ERRNO_H

#ifdef __cplusplus
extern "C" {
#endif

#define EPERM 1         /* operation not permitted */
#define ENOENT 2        /* no such file or directory */
#define EINTR 4         /* interrupted */
#define EIO 5           /* input/output error; an unreadable or inconsistent volume */
#define E2BIG 7         /* argument list too long */
#define ENOEXEC 8       /* not a program the system can run */
#define EBADF 9         /* descriptor not open, or not open for this */
#define ECHILD 10       /* no such child */
#define EAGAIN 11       /* try again: nothing to read or no room yet */
#define EWOULDBLOCK EAGAIN
#define ENOMEM 12       /* out of memory */
#define EACCES 13       /* permission denied */
#define EFAULT 14       /* bad address */
#define EBUSY 16        /* in use */
#define EEXIST 17       /* already exists */
#define ENOTDIR 20      /* not a directory */
#define EISDIR 21       /* is a directory */
#define EINVAL 22       /* invalid argument */
#define EMFILE 24       /* too many open descriptors */
#define EFBIG 27        /* file too large */
#define ENOSPC 28       /* no space left on the volume */
#define ESPIPE 29       /* not seekable */
#define EROFS 30        /* read-only volume */
#define EPIPE 32        /* pipe without a reader */
#define EDOM 33         /* argument out of the function's domain */
#define ERANGE 34       /* result out of range */
#define ENAMETOOLONG 36 /* name too long */
#define ENOSYS 38       /* call not implemented, or no volume attached */
#define ENOTEMPTY 39    /* directory not empty */
#define EOVERFLOW 75    /* value too large for its type */
#define EILSEQ 84       /* illegal byte sequence */

extern int errno;

#ifdef __cplusplus
}
#endif

#endif
