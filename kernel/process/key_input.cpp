// Key mode: one byte at a time, without waiting for Enter and without echo.
#include "process/key_input.h"

#include <unistd.h>

namespace vornos::kernel {

void KeyMode::enter() {
  if (active_ || !isatty(fd_) || tcgetattr(fd_, &saved_) != 0) return;
  termios raw = saved_;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  active_ = tcsetattr(fd_, TCSANOW, &raw) == 0;
}

void KeyMode::leave() {
  if (active_) tcsetattr(fd_, TCSANOW, &saved_);
  active_ = false;
}

}  // namespace vornos::kernel
