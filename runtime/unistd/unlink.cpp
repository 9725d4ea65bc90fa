// unlink: remove a file.
#include <unistd.h>

#include "vornos/kernel_call.h"

extern "C" int unlink(const char* path) {
  if (path == nullptr) return -1;
  return vornos::kernel_call(SYS_unlink, path);
}
