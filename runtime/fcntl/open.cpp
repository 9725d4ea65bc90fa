// Kernel-call wrappers that open files.
#include <fcntl.h>
#include <stdarg.h>

#include "vornos/kernel_call.h"

using vornos::kernel_call;

extern "C" {

// The mode is read only when the flags ask for creation: a caller without O_CREAT need not
// pass one.
int open(const char* path, int flags, ...) {
  if (path == nullptr) return -1;
  int mode = 0;
  if ((flags & O_CREAT) != 0) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, int);
    va_end(args);
  }
  return kernel_call(SYS_open, path, flags, mode);
}

// Always write-only, created and truncated; the kernel is given mode 0 whatever the caller says.
int creat(const char* path, int /*mode*/) {
  if (path == nullptr) return -1;
  return kernel_call(SYS_open, path, O_WRONLY | O_CREAT | O_TRUNC, 0);
}

}  // extern "C"
