/* Calls three deep down to a store through a null pointer: the subject of the crash reports and
   core files. The tests find the lines by the comments that end them. */
int visits = 7;

__attribute__((noinline)) void store_through(volatile int *target) {
  *target = 42; /* the faulting store */
}

__attribute__((noinline)) void middle(volatile int *target) {
  ++visits;
  store_through(target); /* the call of store_through */
  ++visits;
}

__attribute__((noinline)) void outer(volatile int *target, int depth) {
  visits += depth;
  middle(target); /* the call of middle */
  visits -= depth;
}

int main(int argc, char **argv) {
  (void)argv;
  outer(argc > 5 ? &visits : 0, argc); /* the call of outer */
  return visits;
}
