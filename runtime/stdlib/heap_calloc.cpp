// calloc: a zeroed block of count × size bytes from the bump heap.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "heap.h"

extern "C" void* calloc(size_t count, size_t size) {
  // An empty request still gets a distinct block; it holds nothing, so nothing is cleared.
  if (count == 0 || size == 0) return vornos::heap_allocate(1);
  const uint64_t product = static_cast<uint64_t>(count) * size;
  if (product > UINT32_MAX) {
    errno = ENOMEM;
    return nullptr;
  }
  void* block = vornos::heap_allocate(static_cast<size_t>(product));
  if (block != nullptr) memset(block, 0, static_cast<size_t>(product));
  return block;
}
