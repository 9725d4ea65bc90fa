// sleep: wait whole seconds through the microsecond call.
#include <unistd.h>

#include "vornos/kernel_call.h"

namespace {

// The most seconds whose microseconds fit the call's 32 bits.
constexpr unsigned kLongestWait = 4294;
constexpr unsigned kMicroseconds = 1000000;

}  // namespace

// One call for up to 4294 seconds (a wait of 0 included); a longer wait is made of several,
// so that the microsecond count never wraps into a shorter one. Always 0.
extern "C" unsigned sleep(unsigned seconds) {
  do {
    const unsigned part = seconds < kLongestWait ? seconds : kLongestWait;
    vornos::kernel_call(SYS_usleep, part * kMicroseconds);
    seconds -= part;
  } while (seconds != 0);
  return 0;
}
