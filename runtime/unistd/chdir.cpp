// chdir: change the working directory.
#include <unistd.h>

#include "vornos/kernel_call.h"

extern "C" int chdir(const char* path) {
  if (path == nullptr) return -1;
  return vornos::kernel_call(SYS_chdir, path);
}
