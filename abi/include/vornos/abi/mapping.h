/* mmap's protections and flags as programs pass them (Linux's values): the library's sys/mman.h
 * names them, the kernel checks them and the trace shows them by name. Macros, as for C's #if. */
#ifndef VORNOS_ABI_MAPPING_H
#define VORNOS_ABI_MAPPING_H

#define VORNOS_ABI_PROT_NONE 0
#define VORNOS_ABI_PROT_READ 0x1
#define VORNOS_ABI_PROT_WRITE 0x2
#define VORNOS_ABI_PROT_EXEC 0x4

#define VORNOS_ABI_MAP_SHARED 0x01 /* refused: mappings are private */
#define VORNOS_ABI_MAP_PRIVATE 0x02
#define VORNOS_ABI_MAP_FIXED 0x10
#define VORNOS_ABI_MAP_ANONYMOUS 0x20

#endif
