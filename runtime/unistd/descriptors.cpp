// Kernel-call wrappers for descriptors: each refuses unusable arguments, normalises, calls.
#include <unistd.h>

#include "clamp.h"
#include "vornos/kernel_call.h"

using vornos::clamp_count;
using vornos::kernel_call;
using vornos::truth;

extern "C" {

int write(int fd, const void* buf, unsigned count) {
  if (buf == nullptr) return -1;
  return kernel_call(SYS_write, fd, buf, clamp_count(count));
}

int read(int fd, void* buf, unsigned count) {
  if (buf == nullptr) return -1;
  return kernel_call(SYS_read, fd, buf, clamp_count(count));
}

int close(int fd) { return kernel_call(SYS_close, fd); }

int dup(int fd) { return kernel_call(SYS_dup, fd); }

int dup2(int oldfd, int newfd) { return kernel_call(SYS_dup2, oldfd, newfd, 0); }

int pipe(int fds[2]) {
  if (fds == nullptr) return -1;
  return kernel_call(SYS_pipe, fds);
}

int mkfifo(const char* path, int /*mode: the kernel takes none*/) {
  if (path == nullptr) return -1;
  return kernel_call(SYS_mkfifo, path);
}

int fd_set_inherit(int enable) { return kernel_call(SYS_fd_set_inherit, truth(enable)); }

int fd_set_stdio(int a, int b, int c) { return kernel_call(SYS_fd_set_stdio, a, b, c); }

int fd_set_nonblock(int fd, int enable) {
  return kernel_call(SYS_fd_set_nonblock, fd, truth(enable), 0);
}

int lseek(int fd, int offset, int whence) { return kernel_call(SYS_lseek, fd, offset, whence); }

// Only whether the path opens is tested; the kernel's error code is not passed on.
int access(const char* path, int /*mode: not examined*/) {
  if (path == nullptr) return -1;
  const int fd = kernel_call(SYS_open, path, 0, 0);
  if (fd < 0) return -1;
  kernel_call(SYS_close, fd);
  return 0;
}

// Should the kernel ever come back from the exit call, halt here for good rather than
// return into a caller that has no code after the call.
void _exit(int status) {
  kernel_call(SYS_exit, status);
  for (;;) asm volatile("hlt");
}

}  // extern "C"
