// _exit when the kernel comes back from the exit call (scripted through the test hooks):
// the process must halt inside _exit and never run any more of its own code.
#include <stdio.h>
#include <unistd.h>

#include "test_hooks/control_abi.h"
#include "vornos/kernel_call.h"

int main() {
  using namespace vornos::test_control;
  const ScriptedAnswer exit_returns{SYS_exit, AnswerKind::result, 0, 0, 0};
  vornos::kernel_call(kCallNumber, static_cast<uint32_t>(Op::script), &exit_returns);
  printf("before _exit\n");
  _exit(5);
}
