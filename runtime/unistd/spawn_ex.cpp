// spawn_ex: start a program described by a spawn record that the kernel reads by address.
#include <unistd.h>

#include "clamp.h"
#include "vornos/abi/spawn_record.h"
#include "vornos/kernel_call.h"

// The record lives on this call's stack: the kernel copies what it needs before it returns.
extern "C" int spawn_ex(const char* path, char** argv, int argc, int a, int b, int c, int flag) {
  if (path == nullptr || argc < 0) return -1;
  const vornos_spawn_record record{vornos::kernel_word(path), vornos::kernel_word(argv), argc, a, b, c,
                                   vornos::truth(flag)};
  return vornos::kernel_call(SYS_spawn_ex, &record, argc);
}
