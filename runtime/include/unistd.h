/* Kernel-call wrappers: descriptors, files and directories, programs, time, memory mapping. */
#ifndef VORNOS_UNISTD_H
#define VORNOS_UNISTD_H

#include "vornos/abi/open_flags.h"

#ifdef __cplusplus
extern "C" {
#endif

#define STDIN_FILENO 0
#define STDOUT_FILENO 1
#define STDERR_FILENO 2

#define SEEK_SET VORNOS_ABI_SEEK_SET
#define SEEK_CUR VORNOS_ABI_SEEK_CUR
#define SEEK_END VORNOS_ABI_SEEK_END

int write(int fd, const void *buf, unsigned int count);
int read(int fd, void *buf, unsigned int count);
int close(int fd);
int dup(int fd);
int dup2(int oldfd, int newfd);
int pipe(int fds[2]);
int mkfifo(const char *path, int mode);
int fd_set_inherit(int enable);
int fd_set_stdio(int a, int b, int c);
int fd_set_nonblock(int fd, int enable);
int lseek(int fd, int offset, int whence);
int access(const char *path, int mode);
void _exit(int status) __attribute__((noreturn));

/* Programs: spawn_ex hands the kernel a record of its seven arguments. */
int spawn(const char *path, char **argv, int argc);
int spawn_ex(const char *path, char **argv, int argc, int a, int b, int c, int flag);
int waitpid(int pid, int *status, int options);

/* Whole files and directories. writefile creates or replaces the file with buf's len bytes. */
int writefile(const char *path, const void *buf, unsigned int len);
int mkdir(const char *path, int mode);
int unlink(const char *path);
int rmdir(const char *path);
int getcwd(char *buf, unsigned int size);
int chdir(const char *path);

/* A file written in pieces: begin, any number of writes with the handle, end. */
int vornfs_stream_begin(const char *path);
int vornfs_stream_write(int handle, const void *buf, unsigned int len);
int vornfs_stream_end(int handle);

/* Keys and time. */
int getkey(void);
int usleep(unsigned int usec);
unsigned int sleep(unsigned int seconds);

/* Memory mapping: mmap answers the mapping's address, or (void *)-1. */
void *mmap(void *addr, unsigned int length, int prot, int flags, int fd, int offset);
int munmap(void *addr, unsigned int length);

#ifdef __cplusplus
}
#endif

#endif
