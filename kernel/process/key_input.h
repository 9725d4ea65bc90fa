// The runner's terminal in key mode for getkey: no line editing, no echo, restored after.
#pragma once

#include <termios.h>

namespace vornos::kernel {

class KeyMode {
 public:
  explicit KeyMode(int fd) : fd_(fd) {}
  ~KeyMode() { leave(); }
  KeyMode(const KeyMode&) = delete;
  KeyMode& operator=(const KeyMode&) = delete;

  // Puts the terminal in key mode if `fd` is one and it is not in key mode yet.
  void enter();
  // Puts back the settings enter() found.
  void leave();

 private:
  int fd_;
  bool active_ = false;
  termios saved_{};
};

}  // namespace vornos::kernel
