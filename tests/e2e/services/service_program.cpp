// Ends itself the way its argument says, after printing "before": exit(N), abort(), or an
// exit call that the kernel answers (scripted through the test hooks), after which _exit
// must halt where it stands. With "rand" it prints eight values of rand without srand.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "test_hooks/control_abi.h"
#include "vornos/kernel_call.h"

int main(int argc, char** argv) {
  if (argc != 2 || atexit([] { printf("handler ran\n"); }) != 0) return 100;
  if (strcmp(argv[1], "rand") == 0) {
    for (int i = 0; i < 8; ++i) printf("%d\n", rand());
    return 0;
  }
  printf("before\n");
  if (strcmp(argv[1], "abort") == 0) abort();
  if (strcmp(argv[1], "returning") == 0) {
    using namespace vornos::test_control;
    const ScriptedAnswer exit_returns{SYS_exit, AnswerKind::result, 0, 0, 0};
    vornos::kernel_call(kCallNumber, static_cast<uint32_t>(Op::script), &exit_returns);
    _exit(5);
  }
  exit(atoi(argv[1]));
  printf("after\n");
  return 101;
}
