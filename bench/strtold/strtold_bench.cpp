// Prints the time-stamp-counter cycles that one strtold call takes, for texts that run its
// different loops: few digits, many digits, long fractions, and scaling up to its cap.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

uint64_t cycles() {
  uint32_t low;
  uint32_t high;
  asm volatile("rdtsc" : "=a"(low), "=d"(high));
  return (static_cast<uint64_t>(high) << 32) | low;
}

volatile long double s_sink;

// The lowest of several rounds, so that one interruption of the process does not count.
uint32_t cycles_per_call(const char* text, int calls_per_round) {
  uint64_t best = ~0ull;
  for (int round = 0; round < 5; ++round) {
    const uint64_t start = cycles();
    for (int i = 0; i < calls_per_round; ++i) s_sink = strtold(text, nullptr);
    const uint64_t spent = cycles() - start;
    if (spent < best) best = spent;
  }
  return static_cast<uint32_t>(best / static_cast<uint64_t>(calls_per_round));
}

char s_long_fraction[2 + 1024 + 1];
char s_long_integer[4000 + 1];

}  // namespace

int main() {
  s_long_fraction[0] = '0';
  s_long_fraction[1] = '.';
  memset(s_long_fraction + 2, '7', 1024);
  memset(s_long_integer, '3', 4000);

  struct Row {
    const char* label;
    const char* text;
    int calls;
  } const rows[] = {
      {"short decimal \"3.14159\"", "3.14159", 20000},
      {"20 digits", "12345678901234567890", 20000},
      {"hexadecimal \"0x1.fffffp-10\"", "0x1.fffffp-10", 20000},
      {"exponent e300", "1.5e300", 2000},
      {"exponent e-300", "1.5e-300", 2000},
      {"exponent e5000 (1024 steps)", "1e5000", 500},
      {"1024 fraction digits", s_long_fraction, 200},
      {"4000 integer digits", s_long_integer, 100},
  };
  printf("strtold, time-stamp-counter cycles per call (best of 5 rounds):\n");
  for (const Row& row : rows) printf("  %s: %u\n", row.label, cycles_per_call(row.text, row.calls));
  return 0;
}
