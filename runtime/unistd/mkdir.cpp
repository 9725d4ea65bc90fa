// mkdir: make a directory; the kernel takes no mode.
#include <unistd.h>

#include "vornos/kernel_call.h"

extern "C" int mkdir(const char* path, int /*mode: not passed*/) {
  if (path == nullptr) return -1;
  return vornos::kernel_call(SYS_mkdir, path);
}
