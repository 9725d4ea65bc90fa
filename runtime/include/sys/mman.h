/* Memory mapping: the protections and flags the kernel understands. Mappings are private:
 * anonymous memory, or a copy of a volume file's bytes taken at the call (nothing is written
 * back, and MAP_SHARED is refused). */
#ifndef VORNOS_SYS_MMAN_H
#define VORNOS_SYS_MMAN_H

#ifdef __cplusplus
extern "C" {
#endif

#define PROT_NONE 0
#define PROT_READ 1
#define PROT_WRITE 2
#define PROT_EXEC 4

#define MAP_PRIVATE 0x02
#define MAP_FIXED 0x10
#define MAP_ANONYMOUS 0x20
#define MAP_ANON MAP_ANONYMOUS

/* mmap's one failure value, for a refusal and for every error of the kernel alike. */
#define MAP_FAILED ((void *)-1)

void *mmap(void *addr, unsigned int length, int prot, int flags, int fd, int offset);
int munmap(void *addr, unsigned int length);

#ifdef __cplusplus
}
#endif

#endif
