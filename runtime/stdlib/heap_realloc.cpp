// realloc: always a fresh block holding the leading bytes of the old one; the old block stays.
#include <stdlib.h>
#include <string.h>

#include "heap.h"

extern "C" void* realloc(void* ptr, size_t size) {
  void* fresh = vornos::heap_allocate(size);
  if (fresh == nullptr || ptr == nullptr) return fresh;
  const size_t old_size = vornos::heap_block_size(ptr);
  const size_t new_size = vornos::heap_recorded_size(size);
  memcpy(fresh, ptr, old_size < new_size ? old_size : new_size);
  return fresh;
}
