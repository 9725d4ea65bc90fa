// strtod: strtold rounded once more, to double; beyond double's range that rounding gives an
// infinity or a zero.
#include <stdlib.h>

extern "C" double strtod(const char* s, char** end) { return static_cast<double>(strtold(s, end)); }
