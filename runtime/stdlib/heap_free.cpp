// free: the bump heap never takes memory back, so there is nothing to do.
#include <stdlib.h>

extern "C" void free(void*) {}
