// strerror: the text of every code, constant and shared, for any int.
#include <errno.h>
#include <string.h>

#include "kernel_control.h"
#include "vtest.h"

namespace {

struct Case {
  int code;
  const char* text;
};

const Case kCases[] = {
    {0, "ok"},
    {2, "no such file"},
    {22, "invalid argument"},
    {38, "not implemented"},
    {ENOENT, "no such file"},
    {EINVAL, "invalid argument"},
    {ENOSYS, "not implemented"},
    // Everything else, the heap's own code and every negative code included.
    {ENOMEM, "error"},
    {1, "error"},
    {3, "error"},
    {21, "error"},
    {23, "error"},
    {37, "error"},
    {39, "error"},
    {-2, "error"},
    {-22, "error"},
    {-38, "error"},
    {-1, "error"},
    {2147483647, "error"},
    {-2147483647 - 1, "error"},
};

}  // namespace

TEST(Strerror, TextOfEveryCode) {
  for (const Case& c : kCases) EXPECT_STREQ(strerror(c.code), c.text);
}

TEST(Strerror, SameConstantTextEveryTime) {
  EXPECT_EQ(strerror(2), strerror(2));
  EXPECT_EQ(strerror(-5), strerror(7));
  EXPECT_NE(strerror(0), strerror(22));
}

TEST(Strerror, TouchesNeitherErrnoNorTheKernel) {
  errno = 0;
  vtest::CallRecorder calls;
  strerror(12);
  strerror(-1);
  EXPECT_EQ(calls.stop(), 0);
  EXPECT_EQ(errno, 0);
}
