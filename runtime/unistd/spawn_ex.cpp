// spawn_ex: start a program described by a spawn record that the kernel reads by address.
#include <stddef.h>
#include <stdint.h>
#include <unistd.h>

#include "clamp.h"
#include "vornos/kernel_call.h"

namespace {

// Seven little-endian words, no gaps: the layout the kernel reads.
struct SpawnRecord {
  const char* path;
  char** argv;
  int32_t argc;
  int32_t a;
  int32_t b;
  int32_t c;
  uint32_t flag;  // exactly 1 or 0
};
static_assert(sizeof(SpawnRecord) == 28, "the spawn record is seven words");
static_assert(offsetof(SpawnRecord, path) == 0 && offsetof(SpawnRecord, argv) == 4 &&
                  offsetof(SpawnRecord, argc) == 8 && offsetof(SpawnRecord, a) == 12 &&
                  offsetof(SpawnRecord, b) == 16 && offsetof(SpawnRecord, c) == 20 &&
                  offsetof(SpawnRecord, flag) == 24,
              "spawn record field offsets");

}  // namespace

// The record lives on this call's stack: the kernel copies what it needs before it returns.
extern "C" int spawn_ex(const char* path, char** argv, int argc, int a, int b, int c, int flag) {
  if (path == nullptr || argc < 0) return -1;
  const SpawnRecord record{path, argv, argc, a, b, c, vornos::truth(flag)};
  return vornos::kernel_call(SYS_spawn_ex, &record, argc);
}
