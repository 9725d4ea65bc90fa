// The runner's own lines on standard error, with every name in them shown safely.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vornos::kernel {

// `text` with every byte that could steer a terminal or start a new line written as \xNN:
// C0 controls, DEL, C1 controls and bytes that are not valid UTF-8. A backslash becomes
// "\\", so an escape in the output always stands for a byte of the name. Printable ASCII
// and other UTF-8 stay as they are.
std::string printable(std::string_view text);

// Writes "vornos-run: " + printable(message) and a newline in one piece, flushed.
void print_diagnostic(std::FILE* stream, std::string_view message);

}  // namespace vornos::kernel
