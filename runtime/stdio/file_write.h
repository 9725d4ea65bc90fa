// The one write path of every stream; private to the stdio unit.
#pragma once

#include <stdint.h>
#include <stdio.h>

namespace vornos {

// Writes `count` bytes of `data` to `stream`: through the kernel on a descriptor stream,
// appended to the growing buffer on every other kind. 0 on success, -1 on failure (null
// stream or data, a descriptor other than 1, a failed or empty write, a buffer that cannot
// grow). Bytes the kernel took before a failure stay written.
int file_write_bytes(FILE* stream, const void* data, uint32_t count);

}  // namespace vornos
