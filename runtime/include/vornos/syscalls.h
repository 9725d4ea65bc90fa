/* The system's kernel calls by the library's names: SYS_open is 4, from the one list of calls. */
#ifndef VORNOS_SYSCALLS_H
#define VORNOS_SYSCALLS_H

#include "vornos/abi/calls.h"

#define VORNOS_SYS_ENUMERATOR(number, name, arguments, answer) SYS_##name = number,
enum vornos_kernel_call { VORNOS_ABI_CALLS(VORNOS_SYS_ENUMERATOR) };
#undef VORNOS_SYS_ENUMERATOR

#endif
