// The one write path: straight to the kernel for descriptor streams, into a growing buffer
// for every other kind.
#include "file_write.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace vornos {
namespace {

constexpr uint32_t kLargestWrite = 0x7fffffff;  // a full result must fit a signed int
constexpr uint32_t kFirstCapacity = 256;

// Only descriptor 1 can be written through a stream. A short write is followed by another
// for the rest; a write that takes nothing or fails ends the attempt, and what the kernel
// took before stays written.
int write_descriptor(const FILE* stream, const unsigned char* data, uint32_t count) {
  if (stream->fd != 1) return -1;
  uint32_t done = 0;
  while (done < count) {
    const uint32_t rest = count - done;
    const int taken = write(1, data + done, rest < kLargestWrite ? rest : kLargestWrite);
    if (taken <= 0) return -1;
    done += static_cast<uint32_t>(taken);
  }
  return 0;
}

// Appends to the buffer, keeping a NUL after the last byte. The capacity starts at 256 and
// doubles, so a stream written a byte at a time reallocates only logarithmically often.
// A growth whose arithmetic does not fit 32 bits fails like a failed realloc: the record
// is left exactly as it was.
int append_to_buffer(FILE* stream, const unsigned char* data, uint32_t count) {
  const uint32_t len = stream->len;
  if (count > UINT32_MAX - 1 - len) return -1;
  const uint32_t need = len + count + 1;
  if (stream->cap < need) {
    uint32_t capacity = stream->cap != 0 ? stream->cap : kFirstCapacity;
    while (capacity < need) {
      if (capacity > UINT32_MAX / 2) return -1;
      capacity *= 2;
    }
    char* grown = static_cast<char*>(realloc(stream->buf, capacity));
    if (grown == nullptr) return -1;
    stream->buf = grown;
    stream->cap = capacity;
  }
  memcpy(stream->buf + len, data, count);
  stream->len = len + count;
  stream->buf[len + count] = '\0';
  // Only a memory stream hands its buffer to the caller; the other kinds keep it.
  if (stream->kind == STREAM_MEM && stream->user_buf != nullptr && stream->user_size != nullptr) {
    *stream->user_buf = stream->buf;
    *stream->user_size = stream->len;
  }
  return 0;
}

}  // namespace

int file_write_bytes(FILE* stream, const void* data, uint32_t count) {
  // A null data pointer fails even for an empty write.
  if (stream == nullptr || data == nullptr) return -1;
  if (count == 0) return 0;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  if (stream->kind == STREAM_FD) return write_descriptor(stream, bytes, count);
  return append_to_buffer(stream, bytes, count);
}

}  // namespace vornos
