// Registers an exit handler that would print, says it is about to end, then aborts. Nothing
// after the abort call may appear, and the handler must not run.
#include <stdlib.h>
#include <unistd.h>

namespace {

void handler() { write(1, "handler ran\n", 12); }

}  // namespace

int main() {
  if (atexit(handler) != 0) return 100;
  write(1, "before abort\n", 13);
  abort();
  write(1, "after abort\n", 12);
  return 101;
}
