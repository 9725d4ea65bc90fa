// waitpid: the three arguments go to the kernel as they are; their meaning is the kernel's.
#include <unistd.h>

#include "vornos/kernel_call.h"

extern "C" int waitpid(int pid, int* status, int options) {
  return vornos::kernel_call(SYS_waitpid, pid, status, options);
}
