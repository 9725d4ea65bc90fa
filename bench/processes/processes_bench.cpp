// The guest side of the process benchmark, run from the volume as /bench:
//   bench pipe       starts `bench writer` and reads its 64 MiB through a pipe, then waits for it
//   bench writer     writes 64 MiB to descriptor 1 in 64 KiB writes
//   bench spawn N    starts `bench exit` N times, waiting for each
//   bench exit       ends at once
#include <stdint.h>

#include "vornos/kernel_call.h"

namespace {

using vornos::kernel_call;

constexpr uint32_t kTotal = 64u << 20;
constexpr uint32_t kPiece = 64u << 10;
char g_buffer[kPiece];

bool same(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

int32_t run_child(const char* mode, int32_t out) {
  const char* argv[] = {"bench", mode};
  kernel_call(SYS_fd_set_stdio, 0, out, 2);
  const int32_t id = kernel_call(SYS_spawn, "/bench", argv, 2);
  int32_t status = -1;
  if (id <= 0 || kernel_call(SYS_waitpid, id, &status, 0) != id) return -1;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (same(mode, "exit")) return 0;
  if (same(mode, "writer")) {
    for (uint32_t done = 0; done < kTotal; done += kPiece) {
      if (kernel_call(SYS_write, 1, g_buffer, kPiece) != static_cast<int32_t>(kPiece)) return 1;
    }
    return 0;
  }
  if (same(mode, "pipe")) {
    int32_t ends[2];
    if (kernel_call(SYS_pipe, ends) != 0) return 1;
    const char* child[] = {"bench", "writer"};
    kernel_call(SYS_fd_set_stdio, 0, ends[1], 2);
    const int32_t id = kernel_call(SYS_spawn, "/bench", child, 2);
    kernel_call(SYS_close, ends[1]);
    uint32_t total = 0;
    for (int32_t got; (got = kernel_call(SYS_read, ends[0], g_buffer, kPiece)) > 0;) total += static_cast<uint32_t>(got);
    int32_t status = -1;
    return id > 0 && total == kTotal && kernel_call(SYS_waitpid, id, &status, 0) == id && status == 0 ? 0 : 1;
  }
  if (same(mode, "spawn") && argc > 2) {
    int32_t count = 0;
    for (const char* digit = argv[2]; *digit >= '0' && *digit <= '9'; ++digit) count = count * 10 + (*digit - '0');
    for (int32_t i = 0; i < count; ++i) {
      if (run_child("exit", 1) != 0) return 1;
    }
    return 0;
  }
  return 2;
}
