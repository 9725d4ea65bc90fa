// fflush and setbuf: no stream is ever buffered, so there is nothing to flush or to set up.
#include <stdio.h>

extern "C" {

int fflush(FILE* /*stream*/) { return 0; }

void setbuf(FILE* /*stream*/, char* /*buffer*/) {}

}  // extern "C"
