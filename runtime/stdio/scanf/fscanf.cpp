// fscanf: one whitespace-delimited word read from a descriptor stream, then scanned.
#include <stdarg.h>
#include <stdio.h>

#include "stdio/stream_read.h"

namespace {

bool is_stream_space(int c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

constexpr unsigned kWordBuffer = 256;  // the word's first 255 bytes and a NUL

}  // namespace

// Every call consumes exactly one word and the one whitespace byte after it (there is no
// push-back), so the whole format sees that word alone. -1 for a stream that cannot be read
// or that ends before a word begins.
extern "C" int fscanf(FILE* stream, const char* format, ...) {
  if (stream == nullptr || format == nullptr || stream->kind != STREAM_FD) return EOF;
  int c;
  do {
    c = vornos::read_stream_byte(stream);
    if (c < 0) return EOF;
  } while (is_stream_space(c));
  char word[kWordBuffer];
  unsigned kept = 0;
  // Bytes past the buffer are still read, so the stream ends up after the whole word.
  for (; c >= 0 && !is_stream_space(c); c = vornos::read_stream_byte(stream)) {
    if (kept < kWordBuffer - 1) word[kept++] = static_cast<char>(c);
  }
  word[kept] = '\0';
  va_list args;
  va_start(args, format);
  const int result = vsscanf(word, format, args);
  va_end(args);
  return result;
}
