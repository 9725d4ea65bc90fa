// operator new and delete on the bump heap. Code built without exceptions cannot be told
// that an allocation failed, so a new that finds no room ends the program with a message;
// the nothrow forms answer null instead. Delete gives nothing back: the heap never reuses.
#include <new>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

namespace std {
const nothrow_t nothrow{};
}

namespace {

// malloc's blocks are 4-aligned, which is the default new alignment; a block for a larger
// alignment is over-allocated and rounded up.
constexpr size_t kMallocAlignment = 4;
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ <= kMallocAlignment);

void* allocate(size_t size, size_t alignment) {
  if (size == 0) size = 1;  // every new gives a pointer of its own
  if (alignment <= kMallocAlignment) return malloc(size);
  if (size > SIZE_MAX - alignment) return nullptr;
  const auto block = reinterpret_cast<uintptr_t>(malloc(size + alignment));
  if (block == 0) return nullptr;
  return reinterpret_cast<void*>((block + alignment - 1) & ~(uintptr_t{alignment} - 1));
}

void* allocate_or_end(size_t size, size_t alignment) {
  void* memory = allocate(size, alignment);
  if (memory == nullptr) {
    fprintf(stderr, "operator new: out of memory (%u bytes requested)\n", static_cast<unsigned>(size));
    abort();
  }
  return memory;
}

constexpr size_t kDefault = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

}  // namespace

void* operator new(size_t size) { return allocate_or_end(size, kDefault); }
void* operator new[](size_t size) { return allocate_or_end(size, kDefault); }
void* operator new(size_t size, std::align_val_t alignment) { return allocate_or_end(size, size_t(alignment)); }
void* operator new[](size_t size, std::align_val_t alignment) { return allocate_or_end(size, size_t(alignment)); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size, kDefault); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size, kDefault); }
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate(size, size_t(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate(size, size_t(alignment));
}

void operator delete(void*) noexcept {}
void operator delete[](void*) noexcept {}
void operator delete(void*, size_t) noexcept {}
void operator delete[](void*, size_t) noexcept {}
void operator delete(void*, std::align_val_t) noexcept {}
void operator delete[](void*, std::align_val_t) noexcept {}
void operator delete(void*, size_t, std::align_val_t) noexcept {}
void operator delete[](void*, size_t, std::align_val_t) noexcept {}
void operator delete(void*, const std::nothrow_t&) noexcept {}
void operator delete[](void*, const std::nothrow_t&) noexcept {}
void operator delete(void*, std::align_val_t, const std::nothrow_t&) noexcept {}
void operator delete[](void*, std::align_val_t, const std::nothrow_t&) noexcept {}
