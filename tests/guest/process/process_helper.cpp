// The child side of the process tests, copied onto the scratch volume as /helper and
// started by processes_test (or the script) with a mode and its arguments.
#include <stdint.h>

#include "vornos/kernel_call.h"

namespace {

using vornos::kernel_call;

bool same(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}
uint32_t length(const char* text) {
  uint32_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}
int32_t put(int32_t fd, const char* text) { return kernel_call(SYS_write, fd, text, length(text)); }
int32_t number(const char* text) {
  int32_t value = 0;
  while (*text >= '0' && *text <= '9') value = value * 10 + (*text++ - '0');
  return value;
}
// Reads descriptor 0 to its end; answers how many bytes came.
int32_t drain() {
  static char buffer[4096];
  int32_t total = 0;
  for (int32_t got; (got = kernel_call(SYS_read, 0, buffer, sizeof buffer)) > 0;) total += got;
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  const char* arg = argc > 2 ? argv[2] : "";
  if (same(mode, "write")) {  // late: the reader is already waiting when the bytes come
    kernel_call(SYS_usleep, 20000);
    return put(1, arg) > 0 ? 0 : 1;
  }
  if (same(mode, "exit")) return number(arg);
  if (same(mode, "crash")) return *reinterpret_cast<volatile int*>(16);
  if (same(mode, "fifo-write")) {
    const int32_t fd = kernel_call(SYS_open, arg, 1, 0);
    return fd >= 0 && put(fd, argv[3]) > 0 ? 0 : 1;
  }
  if (same(mode, "fds")) {  // 0 when descriptor N is open for writing, else 9
    put(1, "1");
    return put(number(arg), "N") > 0 ? 0 : 9;
  }
  if (same(mode, "drain")) {  // prints how many bytes descriptor 0 gave, as 4 bytes
    const int32_t total = drain();
    return kernel_call(SYS_write, 1, &total, 4) == 4 ? 0 : 1;
  }
  if (same(mode, "wait-stdin")) return drain() == 0 ? 0 : 1;
  if (same(mode, "keys")) {  // echoes every key, then "!" at the end of input
    char key[1];
    for (int32_t got; (got = kernel_call(SYS_getkey)) >= 0;) key[0] = static_cast<char>(got), kernel_call(SYS_write, 1, key, 1);
    return put(1, "!") > 0 ? 0 : 1;
  }
  // A child that waits on the runner's input, which never comes; "hang" waits for it,
  // "leave-child" sleeps while the child waits, then ends before it with status 3.
  if (same(mode, "leave-child") || same(mode, "hang")) {
    const char* child[] = {"helper", "wait-stdin"};
    const int32_t id = kernel_call(SYS_spawn, "/helper", child, 2);
    if (same(mode, "hang")) return kernel_call(SYS_waitpid, id, 0, 0);
    kernel_call(SYS_usleep, 50000);
    return id > 0 ? 3 : 100;
  }
  put(1, "unknown mode\n");
  return 2;
}
