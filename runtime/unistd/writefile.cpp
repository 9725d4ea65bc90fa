// writefile: a whole file's content in one call, the file created or replaced.
#include <unistd.h>

#include "clamp.h"
#include "vornos/kernel_call.h"

// An empty buffer is a real call (it makes an empty file); only a missing one is refused.
extern "C" int writefile(const char* path, const void* buf, unsigned len) {
  if (path == nullptr || buf == nullptr) return -1;
  return vornos::kernel_call(SYS_writefile, path, buf, vornos::clamp_count(len));
}
