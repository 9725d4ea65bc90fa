// What a debugger needs of a running program: its registers and memory, and control over its run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "debug/i386_registers.h"

namespace vornos::debug {

// Why a step or a run came back. Signals are Linux's numbers.
struct StopEvent {
  enum class Kind {
    kTrap,        // a step ended, or the program executed int3 (eip is then past it)
    kSignal,      // the program received `value` (a fault, say) and has not yet been hit by it
    kKernelCall,  // nothing to report: the target served a kernel call, or waits in one; run again
    kExited,      // the program ended with status `value`
    kKilled,      // the program was ended by signal `value`
  };
  Kind kind = Kind::kTrap;
  int value = 0;
  bool operator==(const StopEvent&) const = default;
};

// One program under a debugger. Every call is made while the program is stopped, except that
// `run` returns only at a stop; the stub looks for the debugger's interrupt each time `run`
// returns kKernelCall, so a target returns that after every kernel call it served and, while
// the program waits in one, at least every tenth of a second (the call then stays pending and
// is served once, later: a call never runs twice nor is lost by a stop).
class DebugTarget {
 public:
  virtual ~DebugTarget() = default;

  virtual I386Registers read_registers() = 0;
  virtual void write_registers(const I386Registers& registers) = 0;
  // As a debugger reads and writes: code pages too. Both answer the bytes copied, from the
  // start, up to the first byte out of reach.
  virtual size_t read_memory(uint32_t address, std::span<uint8_t> destination) = 0;
  virtual size_t write_memory(uint32_t address, std::span<const uint8_t> source) = 0;

  // Executes one instruction (a kernel call counts as one, served once) after delivering
  // `signal` when it is not 0; kTrap when the instruction completed.
  virtual StopEvent step(int signal) = 0;
  // Runs after delivering `signal` when it is not 0, until one of the events above.
  virtual StopEvent run(int signal) = 0;
  // The debugger asked for a stop while the program ran: a waiting call stays pending.
  virtual void interrupt() = 0;
  // Ends the program (the debugger's `kill`).
  virtual void kill() = 0;
};

}  // namespace vornos::debug
