/* Memory mapping: the protections and flags the kernel understands. Mappings are private:
 * anonymous memory, or a copy of a volume file's bytes taken at the call (nothing is written
 * back, and MAP_SHARED is refused). */
#ifndef VORNOS_SYS_MMAN_H
#define VORNOS_SYS_MMAN_H

#include "vornos/abi/mapping.h"

#ifdef __cplusplus
extern "C" {
#endif

#define PROT_NONE VORNOS_ABI_PROT_NONE
#define PROT_READ VORNOS_ABI_PROT_READ
#define PROT_WRITE VORNOS_ABI_PROT_WRITE
#define PROT_EXEC VORNOS_ABI_PROT_EXEC

#define MAP_PRIVATE VORNOS_ABI_MAP_PRIVATE
#define MAP_FIXED VORNOS_ABI_MAP_FIXED
#define MAP_ANONYMOUS VORNOS_ABI_MAP_ANONYMOUS
#define MAP_ANON MAP_ANONYMOUS

/* mmap's one failure value, for a refusal and for every error of the kernel alike. */
#define MAP_FAILED ((void *)-1)

void *mmap(void *addr, unsigned int length, int prot, int flags, int fd, int offset);
int munmap(void *addr, unsigned int length);

#ifdef __cplusplus
}
#endif

#endif
