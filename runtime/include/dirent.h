/* Reading directories: opendir, readdir, rewinddir, closedir over the records a read of a
 * directory descriptor answers. readdir gives "." and ".." where the directory has them (the
 * root has neither), in directory order. Unlike the system's own functions these set errno
 * when they fail, as the standard says (opendir: ENOENT, ENOTDIR, ENOMEM, EMFILE, ...). A DIR
 * comes from the heap, which never gives memory back; closedir keeps it for the next opendir,
 * so a program needs room only for the directories it has open at once. */
#ifndef VORNOS_DIRENT_H
#define VORNOS_DIRENT_H

#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* d_type: what the entry is. */
#define DT_UNKNOWN 0
#define DT_DIR 4
#define DT_REG 8

struct dirent {
  ino_t d_ino;          /* as stat's st_ino */
  unsigned char d_type; /* DT_DIR or DT_REG */
  char d_name[772];     /* UTF-8, NUL-terminated */
};

typedef struct vornos_directory_stream DIR;

DIR *opendir(const char *path);
/* The next entry, or null after the last (errno unchanged) or on failure (errno set). The
 * record stays valid until the next readdir or closedir on the same DIR. */
struct dirent *readdir(DIR *dir);
void rewinddir(DIR *dir);
int closedir(DIR *dir);
int dirfd(DIR *dir);

#ifdef __cplusplus
}
#endif

#endif
