/* The system's kernel calls: one list of numbers and names for the library and the kernel. */
#ifndef VORNOS_SYSCALLS_H
#define VORNOS_SYSCALLS_H

#include "vornos/kernel_call_list.h"

/* The library names each call SYS_<name>. */
#define VORNOS_SYS_ENUMERATOR(number, name) SYS_##name = number,
enum vornos_kernel_call { VORNOS_KERNEL_CALLS(VORNOS_SYS_ENUMERATOR) };
#undef VORNOS_SYS_ENUMERATOR

#endif
