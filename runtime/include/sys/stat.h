/* File status over the directory records: stat finds the entry in its directory (size, date,
 * the read-only attribute as missing write bits). fstat knows less from a descriptor alone: a
 * directory's own entry, and of a file only its size (st_mtime 0). A pipe or the runner's
 * input and output are S_IFIFO. There are no owners, links or devices: st_uid, st_gid and
 * st_dev are 0 and st_nlink is 1. These set errno when they fail, as the standard says. */
#ifndef VORNOS_SYS_STAT_H
#define VORNOS_SYS_STAT_H

#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

#define S_IFMT 0170000
#define S_IFDIR 0040000
#define S_IFREG 0100000
#define S_IFIFO 0010000
#define S_IFCHR 0020000
#define S_ISDIR(mode) (((mode) & S_IFMT) == S_IFDIR)
#define S_ISREG(mode) (((mode) & S_IFMT) == S_IFREG)
#define S_ISFIFO(mode) (((mode) & S_IFMT) == S_IFIFO)
#define S_ISCHR(mode) (((mode) & S_IFMT) == S_IFCHR)

#define S_IRWXU 0700
#define S_IRUSR 0400
#define S_IWUSR 0200
#define S_IXUSR 0100
#define S_IRWXG 0070
#define S_IRGRP 0040
#define S_IWGRP 0020
#define S_IXGRP 0010
#define S_IRWXO 0007
#define S_IROTH 0004
#define S_IWOTH 0002
#define S_IXOTH 0001

struct stat {
  dev_t st_dev;
  ino_t st_ino;         /* one number per file or directory of the volume; 0 when unknown */
  mode_t st_mode;       /* S_IFDIR 0755 or S_IFREG 0644, without write bits when read-only */
  nlink_t st_nlink;
  uid_t st_uid;
  gid_t st_gid;
  off_t st_size;
  blksize_t st_blksize; /* 512 */
  blkcnt_t st_blocks;   /* 512-byte blocks the size needs */
  time_t st_atime;      /* as st_mtime */
  time_t st_mtime;      /* the entry's write time as the volume stores it (local time), in
                           seconds since 1970-01-01 00:00 of that clock */
  time_t st_ctime;      /* as st_mtime */
};

int stat(const char *path, struct stat *status);
/* There are no symbolic links: lstat is stat. */
int lstat(const char *path, struct stat *status);
int fstat(int fd, struct stat *status);
/* As unistd.h declares it: the mode is not used, FAT has no permissions. */
int mkdir(const char *path, int mode);

#ifdef __cplusplus
}
#endif

#endif
