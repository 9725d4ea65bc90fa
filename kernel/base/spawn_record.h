// The spawn record of call 150, as a program passes it: shared by the call and the tracer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vornos::kernel {

// The spawn record of call 150: seven 32-bit little-endian fields, 28 bytes.
struct SpawnRecord {
  uint32_t path;
  uint32_t argv;
  int32_t argc;
  int32_t a, b, c;  // the child's descriptors 0-2 for this spawn; -1: the fd_set_stdio one
  uint32_t flag;    // 1: the child also gets every other descriptor, for this spawn
};
static_assert(sizeof(SpawnRecord) == 28 && offsetof(SpawnRecord, a) == 12 && offsetof(SpawnRecord, flag) == 24);

}  // namespace vornos::kernel
