// Linux's signal numbers and the debugger's own numbering, which differs for some of them.
#pragma once

namespace vornos::debug {

// The debugger's number for a Linux signal; 143 (its "unknown") for one it has no name for.
int gdb_signal_from_host(int host_signal);
// Linux's number for one of the debugger's; 0 for one Linux does not have.
int host_signal_from_gdb(int gdb_signal);

}  // namespace vornos::debug
