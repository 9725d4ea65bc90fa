// Helpers shared by the stream tests.
#pragma once

#include <stdint.h>
#include <stdio.h>

namespace stream_test {

inline uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// A record as an opener leaves it: every field zero but the kind, the descriptor and pos.
inline FILE record_of(int kind, int fd = 0, int32_t pos = 0) {
  FILE record = {};
  record.kind = kind;
  record.fd = fd;
  record.pos = pos;
  return record;
}

}  // namespace stream_test
