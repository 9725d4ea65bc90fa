// A program of the system as the event loop sees it, whatever runs it: the platform interface.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "debug/core_file.h"
#include "debug/i386_registers.h"
#include "base/guest_memory.h"

namespace vornos::kernel {

// A kernel call as the program raised it: eax and the six argument registers.
struct KernelCall {
  uint32_t number = 0;
  std::array<uint32_t, 6> args{};  // ebx, ecx, edx, esi, edi, ebp
};

// i386 Linux call numbers the kernel makes inside its programs (Guest::linux_call).
namespace linux_i386 {
inline constexpr uint32_t munmap = 91;
inline constexpr uint32_t mprotect = 125;
inline constexpr uint32_t mmap2 = 192;  // offset in pages
}  // namespace linux_i386

// What stopped the program.
struct TrapEvent {
  // stopped: a program under the debugger met a fault, an int3 or the end of a single step
  // (`signal`, SIGTRAP for the last two) and waits, alive, for the debugger.
  enum class Kind { call, exited, killed, preempted, stopped };
  Kind kind = Kind::call;
  KernelCall call;          // Kind::call: the call to serve before resuming
  int exit_status = 0;      // Kind::exited: the status Linux reports (the program never
                            // reaches Linux's exit, so this only happens if it somehow does)
  int signal = 0;           // Kind::killed: the signal that ended it
  bool have_eip = false;    // Kind::killed: the instruction address, when a stop showed it
  uint32_t eip = 0;
  bool have_fault_address = false;  // Kind::killed by a memory fault: the address it touched
  uint32_t fault_address = 0;
};

// Where the programs of a run execute: as traced native processes (Linux runs their code,
// ptrace stops them at each call), or on an emulated CPU inside the runner, for hosts whose
// Linux cannot execute 32-bit x86 code.
enum class Platform { automatic, ptrace, emulated };

// One running program. A traced one runs on its own and reports its traps through waitpid
// (host_pid()); an emulated one runs only inside run(), called by the event loop.
class Guest {
 public:
  virtual ~Guest() = default;

  // Lets the program go on (with its pending call answered, if any) until its next trap,
  // with `signal` delivered on the way (traced programs only).
  virtual void run_to_trap(int signal = 0) = 0;
  // Puts the result of the call just reported into eax; every other register is kept.
  virtual void answer(int32_t result) = 0;
  // Ends the program at once.
  virtual void kill() = 0;

  // The program's memory, for the calls to read their arguments and write their results.
  virtual std::unique_ptr<GuestMemory> memory() = 0;
  // Linux's i386 mmap2, mprotect or munmap (linux_i386's numbers) on the program's address
  // space, answered as Linux answers (an address, 0, or a negative errno).
  virtual int32_t linux_call(uint32_t number, const std::array<uint32_t, 6>& args) = 0;

  // The Linux process that is the program, for waitpid; -1 when it is not one.
  virtual pid_t host_pid() const { return -1; }
  // Emulated programs: whether run_to_trap asked it to go on, and running it until its next
  // trap, or for about `slice_microseconds` when that is not 0 (Kind::preempted then).
  virtual bool ready() const { return false; }
  virtual TrapEvent run(uint32_t slice_microseconds) {
    (void)slice_microseconds;
    return {};
  }

  // The registers, where the platform can show them (after the program's end too, for the
  // crash report); nothing where it cannot.
  virtual std::optional<debug::I386Registers> registers() { return std::nullopt; }
  // The program's memory as a core file holds it: every mapped area; empty where unknown.
  virtual std::vector<debug::CoreMemory> memory_areas() { return {}; }

  // Debugging, where the platform offers it (debuggable()): faults and int3 stop the program
  // (Kind::stopped) instead of ending it; single steps; registers written; memory read and
  // written as a debugger does, code pages too.
  virtual bool debuggable() const { return false; }
  virtual void set_debugged(bool on) { (void)on; }
  virtual void set_single_step(bool on) { (void)on; }
  virtual void set_registers(const debug::I386Registers& registers) { (void)registers; }
  virtual size_t debug_read(uint32_t address, std::span<uint8_t> destination) {
    (void)address, (void)destination;
    return 0;
  }
  virtual size_t debug_write(uint32_t address, std::span<const uint8_t> source) {
    (void)address, (void)source;
    return 0;
  }
};

}  // namespace vornos::kernel
