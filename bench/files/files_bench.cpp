// The guest side of the file benchmark, through the raw gate: `files_bench read PATH` reads
// PATH to its end in 64 KiB reads; `files_bench write PATH SIZE` writes SIZE bytes (at most
// 8 MiB) of the pattern the benchmark script gives mcopy, with one writefile. Exit status 0
// when the calls succeeded.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "vornos/kernel_call.h"

namespace {

constexpr uint32_t kLargestWrite = 8u << 20;
constexpr uint32_t kReadSize = 64 * 1024;
char g_buffer[kLargestWrite];

int read_all(const char* path) {
  const int32_t fd = vornos::kernel_call(SYS_open, path, 0, 0);
  if (fd < 0) return 1;
  int32_t got;
  uint64_t total = 0;
  while ((got = vornos::kernel_call(SYS_read, fd, g_buffer, kReadSize)) > 0) total += static_cast<uint32_t>(got);
  vornos::kernel_call(SYS_close, fd);
  return got == 0 && total > 0 ? 0 : 1;
}

int write_whole(const char* path, uint32_t size) {
  if (size > kLargestWrite) return 1;
  // One period of the pattern, then doubling copies: the program's own part stays small.
  for (uint32_t i = 0; i < size && i < 251; ++i) g_buffer[i] = static_cast<char>(i);
  for (uint32_t filled = 251; filled < size; filled *= 2) {
    memcpy(g_buffer + filled, g_buffer, filled < size - filled ? filled : size - filled);
  }
  return vornos::kernel_call(SYS_writefile, path, g_buffer, size) >= 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && argv[1][0] == 'r') return read_all(argv[2]);
  if (argc == 4 && argv[1][0] == 'w') return write_whole(argv[2], static_cast<uint32_t>(atoi(argv[3])));
  return 2;
}
