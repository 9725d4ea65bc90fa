/* The spawn record of call 150 (spawn_ex): the library fills it, the kernel copies it at once,
 * the trace shows it field by field. Seven 32-bit little-endian words, 28 bytes. */
#ifndef VORNOS_ABI_SPAWN_RECORD_H
#define VORNOS_ABI_SPAWN_RECORD_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct vornos_spawn_record {
  uint32_t path;  /* address of the program's path, NUL-terminated */
  uint32_t argv;  /* address of argc string addresses */
  int32_t argc;
  int32_t a, b, c; /* the child's descriptors 0-2 for this spawn; -1: the fd_set_stdio one */
  uint32_t flag;   /* 1: the child also gets every other descriptor, for this spawn; else 0 */
};

#ifdef __cplusplus
}

namespace vornos::abi {
using SpawnRecord = vornos_spawn_record;
}

static_assert(sizeof(vornos_spawn_record) == 28, "the spawn record is seven words");
static_assert(offsetof(vornos_spawn_record, path) == 0 && offsetof(vornos_spawn_record, argv) == 4 &&
                  offsetof(vornos_spawn_record, argc) == 8 && offsetof(vornos_spawn_record, a) == 12 &&
                  offsetof(vornos_spawn_record, b) == 16 && offsetof(vornos_spawn_record, c) == 20 &&
                  offsetof(vornos_spawn_record, flag) == 24,
              "spawn record field offsets");
#endif

#endif
