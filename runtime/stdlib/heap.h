// The bump heap's private state and its one allocation step, shared by malloc, calloc and realloc.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace vornos {

inline constexpr uint32_t kHeapSize = 0x100000;  // 1 MiB, fixed: the heap never grows
inline constexpr uint32_t kHeapHeaderSize = 4;    // one word recording the block's size

// The size a block records: what the caller asked for, or 1 for a request of 0, so that
// every block is distinct.
inline size_t heap_recorded_size(size_t size) { return size == 0 ? 1 : size; }

// Recorded size of the block whose payload starts at `payload` (read by realloc only).
inline uint32_t heap_block_size(const void* payload) {
  return static_cast<const uint32_t*>(payload)[-1];
}

// Hands out a block of recorded size `size` (0 counts as 1), or returns null with errno 12
// and changes nothing when it does not fit.
void* heap_allocate(size_t size);

}  // namespace vornos

// Private to the library; C linkage so that the random generator and the heap's tests can
// name them. g_heap_used only grows and is always a multiple of 8.
extern "C" {
extern unsigned char g_heap[vornos::kHeapSize];
extern uint32_t g_heap_used;
}
