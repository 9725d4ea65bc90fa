// The private kernel call through which test programs steer the stand-in kernel.
//
// Shared by the kernel (host C++) and the guest test harness (freestanding C++), so it
// uses nothing but <stdint.h>. The call is served only under `vornos-run --test-hooks`;
// in a normal run its number is an unknown call like any other and answers -38.
#pragma once

#include <stdint.h>

#include "vornos/abi/calls.h"

namespace vornos::test_control {

// Far outside the system's own call numbers, so no program can hit it by accident.
inline constexpr uint32_t kCallNumber = 0x7E57;
static_assert(abi::find_call(kCallNumber) == nullptr, "the test-control call is none of the system's calls");

// The operation goes in ebx, its arguments in ecx and edx.
enum class Op : uint32_t {
  record_start = 1,   // forget earlier records; record every following call except this one
  record_stop = 2,    // ecx: CallRecord array, edx: its capacity in records.
                      // Copies min(recorded, capacity) records; returns the number recorded.
  capture_start = 3,  // writes to descriptor 1 collect in a buffer instead of standard output
  capture_stop = 4,   // ecx: byte buffer, edx: its capacity. Copies min(captured, capacity)
                      // bytes; returns the number captured; descriptor 1 writes go out again.
  script = 5,         // ecx: address of a ScriptedAnswer, copied at once; queued
  script_clear = 6,   // drop every queued answer
};

// One recorded call: the number (eax) and the six argument registers as the program set them.
struct CallRecord {
  uint32_t number, ebx, ecx, edx, esi, edi, ebp;
};
static_assert(sizeof(CallRecord) == 28, "seven words, no padding");

enum class AnswerKind : uint32_t {
  result = 1,       // answer `value` without serving the call at all (an error, a 0, ...)
  short_write = 2,  // serve a write, but take at most `value` bytes of it
  input = 3,        // serve a read from the `length` bytes at `data` (program memory, copied
                    // when scripted): returns min(count, length) bytes
};

// A scripted answer applies to the next call whose number is `number`; answers for the
// same number are used in the order they were queued, each once.
struct ScriptedAnswer {
  uint32_t number;
  AnswerKind kind;
  int32_t value;
  uint32_t data;
  uint32_t length;
};
static_assert(sizeof(ScriptedAnswer) == 20, "five words, no padding");

}  // namespace vornos::test_control
