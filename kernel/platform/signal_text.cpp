// How the end of a program by a signal is told.
#include "platform/signal_text.h"

#include <signal.h>
#include <string.h>

#include <cinttypes>
#include <cstdio>

namespace vornos::kernel {

std::string signal_name(int signal) {
  if (const char* abbreviation = sigabbrev_np(signal)) return std::string("SIG") + abbreviation;
  return "signal " + std::to_string(signal);
}

std::string killed_message(int signal, bool have_eip, uint32_t eip) {
  std::string message = "vornos-run: program killed by " + signal_name(signal);
  if (have_eip) {
    char address[32];
    std::snprintf(address, sizeof address, " at eip 0x%08" PRIx32, eip);
    message += address;
  }
  return message;
}

}  // namespace vornos::kernel
