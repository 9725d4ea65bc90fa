// getenv: the library keeps no environment, so no name has a value.
#include <stdlib.h>

extern "C" char* getenv(const char*) { return nullptr; }
