// tolower and toupper: only the 26 ASCII letters change case; every other value comes back.
#include <ctype.h>

extern "C" {

int tolower(int c) { return isupper(c) ? c + ('a' - 'A') : c; }
int toupper(int c) { return islower(c) ? c - ('a' - 'A') : c; }

}  // extern "C"
