// getenv and atexit: fixed answers, no stored state, no kernel calls. That exit runs no
// handler and that exit and abort end the process is shown end to end (tests/e2e/services).
#include <stdlib.h>

#include "kernel_control.h"
#include "vtest.h"

namespace {

int s_handler_calls = 0;
void count_call() { ++s_handler_calls; }

}  // namespace

TEST(Getenv, NoNameHasAValue) {
  vtest::CallRecorder calls;
  EXPECT_EQ(getenv("PATH"), static_cast<char*>(nullptr));
  EXPECT_EQ(getenv("HOME"), static_cast<char*>(nullptr));
  EXPECT_EQ(getenv(""), static_cast<char*>(nullptr));
  EXPECT_EQ(getenv(nullptr), static_cast<char*>(nullptr));
  EXPECT_EQ(calls.stop(), 0);
}

TEST(Atexit, ReportsSuccessAndNeverCallsTheHandler) {
  vtest::CallRecorder calls;
  EXPECT_EQ(atexit(count_call), 0);
  EXPECT_EQ(atexit(count_call), 0);
  EXPECT_EQ(atexit(nullptr), 0);
  EXPECT_EQ(calls.stop(), 0);
  EXPECT_EQ(s_handler_calls, 0);
}
