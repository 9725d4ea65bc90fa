// How the end of a program by a signal is told.
#pragma once

#include <cstdint>
#include <string>

namespace vornos::kernel {

// "SIGSEGV" for 11; "signal 77" for numbers without a name.
std::string signal_name(int signal);

// The line printed when the program dies of a signal, without a newline:
// "vornos-run: program killed by SIGSEGV at eip 0x00401234".
std::string killed_message(int signal, bool have_eip, uint32_t eip);

}  // namespace vornos::kernel
