// The error number of the process: 0 at start; only the heap ever sets it.
#include <errno.h>

int errno;
