// usleep: wait a number of microseconds. A wait cannot fail from the caller's point of view,
// so the kernel's answer is dropped.
#include <unistd.h>

#include "vornos/kernel_call.h"

extern "C" int usleep(unsigned usec) {
  vornos::kernel_call(SYS_usleep, usec);
  return 0;
}
