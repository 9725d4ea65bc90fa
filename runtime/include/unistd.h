/* Kernel-call wrappers for descriptors and files. */
#ifndef VORNOS_UNISTD_H
#define VORNOS_UNISTD_H

#ifdef __cplusplus
extern "C" {
#endif

#define SEEK_SET 0
#define SEEK_CUR 1
#define SEEK_END 2

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

#ifdef __cplusplus
}
#endif

#endif
