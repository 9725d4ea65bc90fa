// feof and ferror: the stream's two flags; a missing stream reports both raised.
#include <stdio.h>

extern "C" {

int feof(FILE* stream) { return stream == nullptr ? 1 : stream->eof; }

int ferror(FILE* stream) { return stream == nullptr ? 1 : stream->error; }

}  // extern "C"
