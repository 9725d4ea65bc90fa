// The descriptor calls through the raw gate, for the tests that judge the kernel rather than
// the library's wrappers, and a table form for a sequence of calls and their answers.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "vornos/kernel_call.h"
#include "vtest.h"

namespace raw {

using vornos::kernel_call;

inline char* const kBad = reinterpret_cast<char*>(16);  // an unmapped address

inline uint32_t w(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
inline uint32_t u(int32_t value) { return static_cast<uint32_t>(value); }
inline int32_t close(int32_t fd) { return kernel_call(SYS_close, fd); }
inline int32_t read(int32_t fd, void* to, uint32_t count) { return kernel_call(SYS_read, fd, to, count); }
inline int32_t write(int32_t fd, const void* from, uint32_t count) { return kernel_call(SYS_write, fd, from, count); }

// Everything `fd` delivers up to its end, as text (at most 255 bytes).
inline const char* all_of(int32_t fd) {
  static char text[256];
  uint32_t have = 0;
  for (int32_t got; have < sizeof text - 1 && (got = read(fd, text + have, sizeof text - 1 - have)) > 0;) have += got;
  text[have] = '\0';
  return text;
}

// {answer, call number, ebx, ecx, edx, esi, edi, ebp}, arguments left out being 0; descriptors
// as the kernel hands them out, the lowest free from 3.
struct Step { int32_t result; uint32_t call, a = 0, b = 0, c = 0, d = 0, e = 0, f = 0; };
template <size_t N>
void run_steps(const Step (&steps)[N]) {
  for (size_t i = 0; i < N; ++i) {
    const Step& s = steps[i];
    vtest::at_row(i);
    EXPECT_EQ(kernel_call(s.call, s.a, s.b, s.c, s.d, s.e, s.f), s.result);
  }
}

}  // namespace raw
