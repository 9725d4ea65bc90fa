// mmap and munmap: memory mapping, the one six-argument kernel call and its undoing.
#include <unistd.h>

#include "vornos/kernel_call.h"

using vornos::kernel_call;

extern "C" {

// The kernel answers the mapping's address or -1; an empty mapping is refused with -1 too.
void* mmap(void* addr, unsigned length, int prot, int flags, int fd, int offset) {
  if (length == 0) return reinterpret_cast<void*>(-1);
  return reinterpret_cast<void*>(kernel_call(SYS_mmap, addr, length, prot, flags, fd, offset));
}

int munmap(void* addr, unsigned length) { return kernel_call(SYS_munmap, addr, length, 0); }

}  // extern "C"
