/* Calls two functions deep, with arguments and a global, for the debugger session test. The
   test finds the lines by the comments that end them. */
#include <stdio.h>

int calls = 0;

__attribute__((noinline)) int add(int a, int b) {
  calls = calls + 1; /* the first line of add */
  return a + b; /* the sum */
}

__attribute__((noinline)) int twice(int x) {
  int y = add(x, x); /* the call of add */
  printf("twice %d\n", y);
  return y;
}

int main(int argc, char **argv) {
  (void)argv;
  int r = twice(argc + 20); /* the call of twice */
  printf("r=%d\n", r);
  return 0;
}
