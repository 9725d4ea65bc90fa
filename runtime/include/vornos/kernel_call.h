// The gate: the one way out of the process, a kernel call through interrupt 0x80.
#ifndef VORNOS_KERNEL_CALL_H
#define VORNOS_KERNEL_CALL_H

#include <stdint.h>

#include "vornos/syscalls.h"

#ifdef __cplusplus
namespace vornos {

// Every argument reaches the kernel as one 32-bit word: integers by value, pointers by address.
template <typename T>
inline uint32_t kernel_word(T value) {
  if constexpr (__is_pointer(T)) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
  } else {
    return static_cast<uint32_t>(value);
  }
}

// The i386 convention of the system, for every call: the number in eax, the arguments in
// ebx, ecx, edx, esi, edi and ebp, the signed result back in eax. The kernel preserves every
// other register. Memory is clobbered because the kernel reads and writes the buffers that
// the arguments point to. Only the six-argument call needs ebp, which may be the frame
// pointer: it is saved and loaded from the stack around the interrupt, with the sixth word
// pushed first (a push computes an esp-relative source address before it moves esp).
template <typename... Args>
inline int32_t kernel_call(uint32_t number, Args... args) {
  static_assert(sizeof...(Args) <= 6, "a kernel call takes at most six arguments");
  const uint32_t w[] = {kernel_word(args)..., 0};
  int32_t result;
  if constexpr (sizeof...(Args) == 0) {
    asm volatile("int $0x80" : "=a"(result) : "a"(number) : "memory");
  } else if constexpr (sizeof...(Args) == 1) {
    asm volatile("int $0x80" : "=a"(result) : "a"(number), "b"(w[0]) : "memory");
  } else if constexpr (sizeof...(Args) == 2) {
    asm volatile("int $0x80" : "=a"(result) : "a"(number), "b"(w[0]), "c"(w[1]) : "memory");
  } else if constexpr (sizeof...(Args) == 3) {
    asm volatile("int $0x80"
                 : "=a"(result)
                 : "a"(number), "b"(w[0]), "c"(w[1]), "d"(w[2])
                 : "memory");
  } else if constexpr (sizeof...(Args) == 4) {
    asm volatile("int $0x80"
                 : "=a"(result)
                 : "a"(number), "b"(w[0]), "c"(w[1]), "d"(w[2]), "S"(w[3])
                 : "memory");
  } else if constexpr (sizeof...(Args) == 5) {
    asm volatile("int $0x80"
                 : "=a"(result)
                 : "a"(number), "b"(w[0]), "c"(w[1]), "d"(w[2]), "S"(w[3]), "D"(w[4])
                 : "memory");
  } else {
    asm volatile(
        "pushl %[sixth]\n\t"
        "pushl %%ebp\n\t"
        "movl 4(%%esp), %%ebp\n\t"
        "int $0x80\n\t"
        "popl %%ebp\n\t"
        "addl $4, %%esp"
        : "=a"(result)
        : "a"(number), "b"(w[0]), "c"(w[1]), "d"(w[2]), "S"(w[3]), "D"(w[4]), [sixth] "g"(w[5])
        : "memory");
  }
  return result;
}

}  // namespace vornos
#endif

#endif
