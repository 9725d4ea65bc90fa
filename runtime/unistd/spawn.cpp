// spawn: start a program with an argument vector.
#include <unistd.h>

#include "vornos/kernel_call.h"

extern "C" int spawn(const char* path, char** argv, int argc) {
  if (path == nullptr || argc < 0) return -1;
  return vornos::kernel_call(SYS_spawn, path, argv, argc);
}
