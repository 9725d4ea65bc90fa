// The file calls on a volume attached --read-only (read_only_test.sh): reading works, and
// every call that would write answers -30.
#include <stdint.h>

#include "vornos/kernel_call.h"
#include "vtest.h"

using vornos::kernel_call;

TEST(ReadOnlyVolume, ReadsWorkAndEveryWriteAnswersThirty) {
  const int32_t fd = kernel_call(SYS_open, "/Docs/Read Me.txt", 0, 0);
  char text[32];
  EXPECT_EQ(kernel_call(SYS_read, fd, text, sizeof text), 18);
  const struct { uint32_t call; const char* path; uint32_t flags; } cases[] = {
      {SYS_open, "/Docs/Read Me.txt", 1}, {SYS_open, "/Docs/Read Me.txt", 2}, {SYS_open, "/New.txt", 0x41},
      {SYS_writefile, "/Docs/Read Me.txt", 0}, {SYS_writefile, "/New.txt", 0}, {SYS_mkdir, "/New", 0},
      {SYS_rmdir, "/Docs", 0}, {SYS_unlink, "/Pattern.bin", 0}, {SYS_vornfs_stream_begin, "/New.txt", 0},
  };
  for (const auto& c : cases) {
    vtest::name_case("writing call", c.path);
    EXPECT_EQ(kernel_call(c.call, c.path, c.flags, 0), -30);
  }
  EXPECT_EQ(kernel_call(SYS_close, fd), 0);
}
