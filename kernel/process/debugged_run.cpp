// The first program under the debugger (its stub served from the event loop), and what the run
// tells when a signal ends a program: the crash report and the core file.
#include <signal.h>

#include <cstdio>
#include <cstring>

#include "debug/core_file.h"
#include "debug/crash_report.h"
#include "debug/gdb_stub.h"
#include "debug/loopback_socket.h"
#include "process/event_loop.h"
#include "platform/stop.h"
#include "platform/signal_text.h"

namespace vornos::kernel {

// The debugged program as the stub sees it. A step or a run goes round the event loop, which
// serves every program's calls as without the debugger, and comes back to the stub after each
// round (kKernelCall), so that it sees the debugger's interrupt; the program's stops (a fault,
// an int3, the end of a step) end it.
class DebuggedProgram final : public debug::DebugTarget {
 public:
  DebuggedProgram(EventLoop& loop, int32_t id) : loop_(loop), id_(id) {}

  debug::I386Registers read_registers() override {
    Program* entry = live();
    if (entry == nullptr) return {};
    return entry->guest->registers().value_or(debug::I386Registers{});
  }
  void write_registers(const debug::I386Registers& registers) override {
    if (Program* entry = live()) entry->guest->set_registers(registers);
  }
  size_t read_memory(uint32_t address, std::span<uint8_t> destination) override {
    Program* entry = live();
    return entry == nullptr ? 0 : entry->guest->debug_read(address, destination);
  }
  size_t write_memory(uint32_t address, std::span<const uint8_t> source) override {
    Program* entry = live();
    return entry == nullptr ? 0 : entry->guest->debug_write(address, source);
  }
  debug::StopEvent step(int signal) override { return advance(signal, true); }
  debug::StopEvent run(int signal) override { return advance(signal, false); }
  // The call the program waits in, if any, stays pending: the next run serves it, once.
  void interrupt() override {
    started_ = false;
    if (Program* entry = live()) entry->guest->set_single_step(false);
  }
  void kill() override {
    if (Program* entry = live()) {
      entry->guest->kill();
      loop_.end(*entry, 128 + SIGKILL);
      entry->killed_by = SIGKILL;
    }
  }

 private:
  Program* live() {
    Program* entry = loop_.find(id_);
    return entry != nullptr && entry->state != Program::State::ended && entry->guest ? entry : nullptr;
  }

  debug::StopEvent ended() {
    started_ = false;
    const Program* entry = loop_.find(id_);
    if (entry == nullptr) return {debug::StopEvent::Kind::kKilled, SIGKILL};
    if (entry->killed_by != 0) return {debug::StopEvent::Kind::kKilled, entry->killed_by};
    return {debug::StopEvent::Kind::kExited, entry->exit_status};
  }

  debug::StopEvent advance(int signal, bool stepping) {
    Program* entry = live();
    if (entry == nullptr) return ended();
    if (signal != 0) {
      // The system's programs handle no signals: the one the debugger passes on ends it, as
      // it would have without the debugger.
      TrapEvent killed;
      killed.kind = TrapEvent::Kind::killed;
      killed.signal = signal;
      if (const auto registers = entry->guest->registers()) killed.have_eip = true, killed.eip = registers->eip;
      if (loop_.debug_stop_ && loop_.debug_stop_->signal == signal) {
        killed.have_fault_address = loop_.debug_stop_->have_fault_address;
        killed.fault_address = loop_.debug_stop_->fault_address;
      }
      entry->guest->kill();
      loop_.on_event(*entry, killed);
      return ended();
    }
    if (!started_) {
      started_ = true;
      calls_at_start_ = entry->calls_made;
      loop_.debug_stop_.reset();
      entry->guest->set_single_step(stepping);
      if (entry->state == Program::State::running && !entry->guest->ready()) entry->guest->run_to_trap();
    }
    if (stop_signal() != 0) return {debug::StopEvent::Kind::kKilled, stop_signal()};
    if (loop_.wait_for_event()) loop_.retry_waiting();
    entry = live();
    if (entry == nullptr) return ended();
    if (loop_.debug_stop_) {
      started_ = false;
      entry->guest->set_single_step(false);
      const int stopped_by = loop_.debug_stop_->signal;
      return stopped_by == SIGTRAP ? debug::StopEvent{debug::StopEvent::Kind::kTrap, 0}
                                   : debug::StopEvent{debug::StopEvent::Kind::kSignal, stopped_by};
    }
    // A step over a kernel call ends when the call has been answered.
    if (stepping && entry->calls_made != calls_at_start_ && entry->state == Program::State::running) {
      started_ = false;
      entry->guest->set_single_step(false);
      return {debug::StopEvent::Kind::kTrap, 0};
    }
    return {debug::StopEvent::Kind::kKernelCall, 0};
  }

  EventLoop& loop_;
  const int32_t id_;
  bool started_ = false;
  uint64_t calls_at_start_ = 0;
};

std::optional<int> EventLoop::debug_first(Program& first) {
  const int32_t id = first.id;
  if (!first.guest->debuggable()) {
    print(first, "vornos-run: --gdb needs the emulated platform (--platform emulated)");
    end_all();
    return 125;
  }
  std::string error;
  const auto listener = debug::LoopbackListener::open(*settings_.gdb_port, error);
  if (!listener) {
    print(first, "vornos-run: --gdb: cannot listen on " + error);
    end_all();
    return 125;
  }
  print(first, "vornos-run: waiting for gdb on 127.0.0.1:" + std::to_string(listener->port()) +
                   " (in gdb: target remote 127.0.0.1:" + std::to_string(listener->port()) + ")");
  const auto connection = listener->accept(error, [] { return stop_signal() != 0; });
  if (!connection) {
    if (stop_signal() != 0) return std::nullopt;  // the loop ends the run as stopped
    print(first, "vornos-run: --gdb: " + error);
    end_all();
    return 125;
  }
  debugging_ = true;
  debugged_id_ = id;
  first.guest->set_debugged(true);
  DebuggedProgram target(*this, id);
  debug::GdbStub stub(target, *connection);
  const debug::SessionEnd session = stub.serve();
  debugging_ = false;
  Program* entry = find(id);
  if (entry == nullptr || entry->state == Program::State::ended || !entry->guest) return std::nullopt;
  if (session == debug::SessionEnd::kKilled) {
    end_all();
    return 128 + SIGKILL;
  }
  // Detached: the program runs on by itself. Stopped by a fault, it meets the fault again.
  entry->guest->set_debugged(false);
  entry->guest->set_single_step(false);
  if (entry->state == Program::State::running && !entry->guest->ready()) entry->guest->run_to_trap();
  return std::nullopt;
}

void EventLoop::report_crash(Program& entry, const TrapEvent& event) {
  std::string line = killed_message(event.signal, event.have_eip, event.eip);
  const std::optional<debug::I386Registers> registers = entry.guest ? entry.guest->registers() : std::nullopt;
  if (event.have_eip && !entry.program_path.empty() && entry.memory) {
    debug::CrashState state;
    state.signal = event.signal;
    state.eip = event.eip;
    if (registers) state.esp = registers->esp, state.ebp = registers->ebp;
    if (event.have_fault_address) state.fault_address = event.fault_address;
    GuestMemory& memory = *entry.memory;
    const debug::ReadWord read = [&memory](uint32_t address) -> std::optional<uint32_t> {
      uint32_t word = 0;
      if (memory.read(address, std::as_writable_bytes(std::span(&word, 1))) != 0) return std::nullopt;
      return word;
    };
    line = debug::crash_report(line, state, entry.program_path, debug::find_symbolizer(), read);
    if (!line.empty() && line.back() == '\n') line.pop_back();
  } else if (event.have_fault_address && (event.signal == SIGSEGV || event.signal == SIGBUS)) {
    char address[32];
    std::snprintf(address, sizeof address, ", address 0x%08x", event.fault_address);
    line += address;
  }
  print(entry, line);
  if (settings_.core_path.empty() || entry.id != 1) return;
  const std::vector<debug::CoreMemory> areas = entry.guest ? entry.guest->memory_areas() : std::vector<debug::CoreMemory>{};
  if (!registers || areas.empty()) {
    print(entry, "vornos-run: no core file: this platform does not show the program's registers and memory");
    return;
  }
  debug::CoreProcess process;
  process.signal = event.signal;
  process.pid = entry.id;
  process.program_name = entry.program_path;
  process.registers = *registers;
  if (event.have_eip) process.registers.eip = event.eip;
  if (event.have_fault_address) process.fault_address = event.fault_address;
  if (debug::write_core(settings_.core_path, process, areas)) {
    print(entry, "vornos-run: core written to " + settings_.core_path);
  } else {
    print(entry, "vornos-run: cannot write the core file " + settings_.core_path + ": " + std::strerror(errno));
  }
}

}  // namespace vornos::kernel
