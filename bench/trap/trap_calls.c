/* Benchmark program for the system: makes N cheap kernel calls of one kind, then exits.
 * Usage: trap_calls empty|byte N. "empty" writes 0 bytes (a trap and nothing else), "byte"
 * writes one byte to descriptor 1 (what each ordinary character of printf costs). */
#include <unistd.h>

static unsigned parse_count(const char *text) {
  unsigned value = 0;
  while (*text >= '0' && *text <= '9') value = value * 10 + (unsigned)(*text++ - '0');
  return value;
}

int main(int argc, char **argv) {
  if (argc < 3) return 2;
  const unsigned count = parse_count(argv[2]);
  const unsigned length = argv[1][0] == 'b' ? 1 : 0;
  for (unsigned i = 0; i < count; ++i) {
    if (write(1, "x", length) != (int)length) return 1;
  }
  return 0;
}
