// getkey: the next key code from the kernel.
#include <unistd.h>

#include "vornos/kernel_call.h"

extern "C" int getkey(void) { return vornos::kernel_call(SYS_getkey); }
