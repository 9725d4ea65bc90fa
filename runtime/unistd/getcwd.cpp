// getcwd: the working directory into the caller's buffer. The kernel's result comes back as
// it is, not the buffer's address.
#include <unistd.h>

#include "clamp.h"
#include "vornos/kernel_call.h"

extern "C" int getcwd(char* buf, unsigned size) {
  if (buf == nullptr || size == 0) return -1;
  return vornos::kernel_call(SYS_getcwd, buf, vornos::clamp_count(size), 0);
}
