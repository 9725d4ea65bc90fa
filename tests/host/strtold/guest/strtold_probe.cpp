// Reads NUL-separated texts from standard input and, for each, writes one line:
//   <strtold's 10 bytes in hex, memory order> <its end offset> <strtod's 8 bytes> <its end offset>
// so that a host program can compare every bit with its model. Output is collected and
// written in large pieces, since every kernel call is costly under the stand-in kernel.
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

constexpr uint32_t kInputCapacity = 16u << 20;
char s_input[kInputCapacity + 1];

constexpr uint32_t kOutputChunk = 64u << 10;
char s_output[kOutputChunk + 128];
uint32_t s_output_used = 0;

bool write_all(const char* bytes, uint32_t n) {
  while (n > 0) {
    const int written = write(1, bytes, n);
    if (written <= 0) return false;
    bytes += written;
    n -= static_cast<uint32_t>(written);
  }
  return true;
}

bool flush_output() {
  const bool ok = write_all(s_output, s_output_used);
  s_output_used = 0;
  return ok;
}

void put_char(char c) { s_output[s_output_used++] = c; }

void put_hex(const void* bytes, uint32_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  for (uint32_t i = 0; i < n; ++i) {
    put_char("0123456789abcdef"[p[i] >> 4]);
    put_char("0123456789abcdef"[p[i] & 15]);
  }
}

void put_decimal(uint32_t value) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) put_char(digits[--n]);
}

}  // namespace

int main() {
  uint32_t length = 0;
  for (;;) {
    if (length == kInputCapacity) {
      write_all("strtold_probe: input too large\n", 31);
      return 2;
    }
    const int got = read(0, s_input + length, kInputCapacity - length);
    if (got < 0) return 2;
    if (got == 0) break;
    length += static_cast<uint32_t>(got);
  }
  s_input[length] = '\0';

  for (uint32_t start = 0; start < length;) {
    char* text = s_input + start;
    char* end = nullptr;
    const long double extended = strtold(text, &end);
    put_hex(&extended, 10);
    put_char(' ');
    put_decimal(static_cast<uint32_t>(end - text));
    put_char(' ');
    const double rounded = strtod(text, &end);
    put_hex(&rounded, 8);
    put_char(' ');
    put_decimal(static_cast<uint32_t>(end - text));
    put_char('\n');
    if (s_output_used >= kOutputChunk && !flush_output()) return 2;
    while (s_input[start] != '\0') ++start;
    ++start;
  }
  return flush_output() ? 0 : 2;
}
