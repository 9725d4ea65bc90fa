// The streamed file write: begin with a path, write any number of pieces, end. Nothing is
// buffered, retried or ended automatically between the steps.
#include <unistd.h>

#include "clamp.h"
#include "vornos/kernel_call.h"

using vornos::kernel_call;

extern "C" {

int vornfs_stream_begin(const char* path) {
  if (path == nullptr) return -1;
  return kernel_call(SYS_vornfs_stream_begin, path);
}

// The handle is the kernel's to judge.
int vornfs_stream_write(int handle, const void* buf, unsigned len) {
  if (buf == nullptr) return -1;
  return kernel_call(SYS_vornfs_stream_write, handle, buf, vornos::clamp_count(len));
}

int vornfs_stream_end(int handle) { return kernel_call(SYS_vornfs_stream_end, handle); }

}  // extern "C"
