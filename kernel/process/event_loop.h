// The programs of one run: the process table and the one event loop that serves them all.
#pragma once

#include <poll.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/guest.h"
#include "base/guest_memory.h"
#include "calls/call_context.h"
#include "calls/call_observers.h"
#include "vfs/names.h"
#include "calls/process_files.h"
#include "calls/wait_condition.h"
#include "process/key_input.h"

namespace vornos::kernel {

struct RunSettings {
  bool trace = false;               // one line per served call on `trace_output` (run_program's tracer)
  std::FILE* trace_output = stderr;
  std::FILE* diagnostics = stderr;  // the killed-by-signal line
  double timeout_seconds = 0;       // --timeout: the program is ended after this long; 0: never
  // Where programs run: traced native processes where Linux runs 32-bit x86 code, else (and
  // when asked) the emulated CPU.
  Platform platform = Platform::automatic;
  // --gdb PORT: the first program waits for a debugger on 127.0.0.1:PORT before its first
  // instruction (emulated platform only).
  std::optional<uint16_t> gdb_port;
  // --core FILE: an ELF core file of the first program when a signal ends it.
  std::string core_path;
};

// One program of the run, from its start until its parent has waited for it.
struct Program {
  Program(int32_t id, int32_t parent) : id(id), parent(parent) {}
  enum class State { running, waiting, ended };

  const int32_t id;
  int32_t parent;  // 0 for the first program and for orphans
  State state = State::running;
  int exit_status = 0;  // when ended: 0-255, or 128 + N for signal N

  std::unique_ptr<Guest> guest;  // gone once the program ended
  std::unique_ptr<GuestMemory> memory;
  std::unique_ptr<ProcessFiles> files;
  std::unique_ptr<ProcessControl> control;  // the process table as its calls see it
  std::unique_ptr<CallContext> context;     // what its calls' handlers touch

  // The call the program waits in, as it made it (for the trace), and what it waits for.
  KernelCall made;
  std::optional<WaitCondition> waiting_on;

  // The program's file on the host, for the crash report's symbols (the first program's).
  std::string program_path;
  int killed_by = 0;         // the signal that ended it, if one did
  uint64_t calls_made = 0;  // kernel calls it made, for the debugger's steps over them
};

// The programs of a run and the one loop that serves them: each program's next trap is
// served by the call table as it comes; a call that cannot complete yet leaves its program
// stopped until the condition it waits for may be met.
class EventLoop {
 public:
  // Processes at once, running or ended and not yet waited for.
  static constexpr size_t kProcessLimit = 64;

  // `hooks` and `trace` are null unless the run asked for them.
  EventLoop(FileSystem* file_system, CallInterceptor* hooks, CallTrace* trace, const RunSettings& settings)
      : file_system_(file_system), hooks_(hooks), trace_(trace), settings_(settings), names_(file_system), key_mode_(0) {}
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Runs `program` with the runner's devices as descriptors 0-2, and every program it
  // starts, until the first one ends; then ends the others. The run's exit status, as
  // run_program describes it.
  int run(const std::vector<std::string>& program, Device& input, Device& output, Device& error);

  Program* find(int32_t id);

 private:
  friend class ProgramControl;
  friend class DebuggedProgram;

  // Starts `image` (a checked program read from the volume) as a child of `parent` with
  // `argv` and `files`. The child's id, or -11 at the process limit.
  int32_t spawn(Program& parent, std::span<const std::byte> image, const std::vector<std::string>& argv,
                std::unique_ptr<ProcessFiles> files);
  Program& add(int32_t parent, std::unique_ptr<Guest> guest, std::unique_ptr<ProcessFiles> files);
  std::unique_ptr<Guest> start_first(const std::vector<std::string>& program);
  Program* next_ready();
  void serve(Program& program, const KernelCall& call);
  std::optional<int32_t> attempt(Program& program, const KernelCall* new_call);
  void answer(Program& program, int32_t result);
  void retry_waiting();
  void end(Program& program, int status);
  void on_event(Program& program, const TrapEvent& event);
  // Waits for the next change: a program's trap or end, and while some program waits on time
  // or on the runner's descriptors, those too. False when it was interrupted (by a stop).
  bool wait_for_event();
  bool run_emulated(Program& ready);
  bool wait_for_host();
  void trace(const Program& program, std::optional<int32_t> result);
  void trace_end(const Program& program, const std::string& how);
  void print(const Program& program, const std::string& line);
  int stopped(int signal);
  void end_all();
  // The killed-by-signal line with the crash report, and the core file when asked for.
  void report_crash(Program& program, const TrapEvent& event);
  // Serves the debugger for the first program until it detaches or the program ends; the
  // run's status when the run is over, nothing when the loop goes on.
  std::optional<int> debug_first(Program& first);

  bool debugging_ = false;
  int32_t debugged_id_ = 0;
  std::optional<TrapEvent> debug_stop_;  // the debugged program's last stop

  FileSystem* file_system_;
  CallInterceptor* hooks_;
  CallTrace* trace_;
  const RunSettings& settings_;
  std::map<int32_t, std::unique_ptr<Program>> programs_;
  std::map<pid_t, int32_t> by_host_pid_;
  int32_t next_id_ = 1;
  int32_t last_ran_ = 0;  // the emulated program that ran last, for taking turns
  Platform platform_ = Platform::automatic;
  bool several_ = false;  // a second program has started: diagnostics name their program
  Names names_;
  KeyMode key_mode_;
  int child_signals_ = -1;  // signalfd for SIGCHLD: waits that also watch time and input
};

}  // namespace vornos::kernel
