// The bump heap's region, its used-byte count, the allocation step and malloc.
#include <errno.h>
#include <stdlib.h>

#include "heap.h"

// In the zero-filled data, so that the 1 MiB costs nothing in the image. Aligned to 8 so
// that every header word lies on an 8-byte boundary and every payload 4 past one.
alignas(8) unsigned char g_heap[vornos::kHeapSize];
uint32_t g_heap_used;

namespace vornos {

void* heap_allocate(size_t size) {
  const uint32_t recorded = heap_recorded_size(size);
  // The footprint (recorded + 4, rounded up to 8) fits the free space exactly when
  // recorded + 4 does, since the free space is a multiple of 8. Comparing this way keeps
  // sizes near 2^32 from wrapping the sum into an apparent fit.
  const uint32_t free_space = kHeapSize - g_heap_used;
  if (free_space < 8 || recorded > free_space - kHeapHeaderSize) {
    errno = ENOMEM;
    return nullptr;
  }
  unsigned char* header = g_heap + g_heap_used;
  *reinterpret_cast<uint32_t*>(header) = recorded;
  g_heap_used += (recorded + kHeapHeaderSize + 7) & ~7u;
  return header + kHeapHeaderSize;
}

}  // namespace vornos

extern "C" void* malloc(size_t size) { return vornos::heap_allocate(size); }
