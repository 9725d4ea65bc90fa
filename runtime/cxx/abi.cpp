// The compiler's C++ run-time entry points that a program without exceptions still needs.
#include <stdio.h>
#include <stdlib.h>

extern "C" {

// Identifies the program to __cxa_atexit; there are no shared objects to tell apart.
void* __dso_handle = &__dso_handle;

// Registers a destructor of a static object, as atexit does: nothing is kept, because exit
// runs no handlers.
int __cxa_atexit(void (*)(void*), void*, void*) { return 0; }

// The slot of a pure virtual function, reached only by a call during construction or
// destruction: a bug that ends the program.
[[noreturn]] void __cxa_pure_virtual() {
  fprintf(stderr, "pure virtual function called\n");
  abort();
}

}
