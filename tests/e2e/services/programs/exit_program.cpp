// Registers an exit handler that would print, says it is about to end, then ends with
// exit(status) for the status given as its argument. Nothing after the exit call may appear.
#include <stdlib.h>
#include <unistd.h>

namespace {

void handler() { write(1, "handler ran\n", 12); }

}  // namespace

int main(int argc, char** argv) {
  if (atexit(handler) != 0) return 100;
  write(1, "before exit\n", 12);
  exit(argc > 1 ? atoi(argv[1]) : 0);
  write(1, "after exit\n", 11);
  return 101;
}
