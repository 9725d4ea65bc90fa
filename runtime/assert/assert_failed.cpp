// The end of a failed assertion: one line on descriptor 2, then the status of an abort by
// signal (128 + SIGABRT), so that a shell or a test runner tells it from an ordinary failure.
#include <assert.h>
#include <stddef.h>
#include <unistd.h>

namespace {

constexpr int kAssertionStatus = 134;

// Appends text to the line at *used, as much as fits.
void append(char* line, size_t capacity, size_t* used, const char* text) {
  while (text != nullptr && *text != '\0' && *used < capacity) line[(*used)++] = *text++;
}

// The decimal digits of a line number (never negative from __LINE__).
void append_number(char* line, size_t capacity, size_t* used, int value) {
  char digits[12];
  size_t n = 0;
  unsigned rest = value < 0 ? 0u : static_cast<unsigned>(value);
  do {
    digits[n++] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  while (n > 0 && *used < capacity) line[(*used)++] = digits[--n];
}

}  // namespace

// Built from pieces with the raw write call: a failing program may have broken its streams,
// and descriptor 2 is not the library's stderr, which writes to descriptor 1.
extern "C" void __vornos_assert_failed(const char* expression, const char* file, int line,
                                       const char* function) {
  char text[512];
  const size_t capacity = sizeof text - 1;  // room kept for the newline
  size_t used = 0;
  append(text, capacity, &used, file);
  append(text, capacity, &used, ":");
  append_number(text, capacity, &used, line);
  append(text, capacity, &used, ": ");
  append(text, capacity, &used, function);
  append(text, capacity, &used, ": assertion failed: ");
  append(text, capacity, &used, expression);
  text[used++] = '\n';
  write(2, text, static_cast<unsigned>(used));
  _exit(kAssertionStatus);
}
