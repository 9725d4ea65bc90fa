// The programs of one run: the process table and the one event loop that runs them all.
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

#include "calls/call_table.h"
#include "calls/process.h"
#include "process/process_calls.h"
#include "pipes/fifos.h"
#include "base/guest_memory.h"
#include "process/key_input.h"
#include "base/guest.h"

namespace vornos::kernel {

class TestHooks;

struct RunSettings {
  bool trace = false;               // one line per served call on `trace_output`
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

using Clock = std::chrono::steady_clock;

// One program of the run, from its start until its parent has waited for it.
struct ProcessEntry {
  ProcessEntry(int32_t id, int32_t parent) : id(id), parent(parent) {}
  enum class State { running, waiting, ended };

  const int32_t id;
  int32_t parent;  // 0 for the first program and for orphans
  State state = State::running;
  int exit_status = 0;  // when ended: 0-255, or 128 + N for signal N

  std::unique_ptr<Guest> guest;  // gone once the program ended
  std::unique_ptr<GuestMemory> memory;
  std::unique_ptr<Process> process;
  std::unique_ptr<ProcessCalls> extension;
  std::unique_ptr<CallTable> calls;

  // The call the program waits in: as it made it (for the trace), and what is left of it
  // (a write to a pipe completes piece by piece), with the bytes already done.
  KernelCall made;
  KernelCall left;
  uint32_t done = 0;
  // What the waiting call needs: a time (usleep), one of the runner's own descriptors
  // ready (a read or getkey of its input, a write to its output), the other side of a fifo.
  std::optional<Clock::time_point> wake_at;
  std::optional<pollfd> host_wait;
  std::optional<FifoOpening> opening;

  // The standard descriptors children get (fd_set_stdio), and whether they get the rest.
  std::array<int32_t, 3> child_stdio{0, 1, 2};
  bool children_inherit = false;

  // The program's file on the host, for the crash report's symbols (the first program's).
  std::string program_path;
  int killed_by = 0;         // the signal that ended it, if one did
  uint64_t calls_made = 0;  // kernel calls it made, for the debugger's steps over them
};

class Scheduler {
 public:
  // Processes at once, running or ended and not yet waited for.
  static constexpr size_t kProcessLimit = 64;

  Scheduler(FileSystem* file_system, TestHooks* hooks, const RunSettings& settings)
      : file_system_(file_system), hooks_(hooks), settings_(settings), key_mode_(0) {}
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // Runs `program` with the runner's devices as descriptors 0-2, and every program it
  // starts, until the first one ends; then ends the others. The run's exit status, as
  // run_program describes it.
  int run(const std::vector<std::string>& program, Device& input, Device& output, Device& error);

  // Starts `image` (a checked program read from the volume) as a child of `parent` with
  // `argv` and `descriptors`. The child's id, or -11 at the process limit.
  int32_t spawn(ProcessEntry& parent, std::span<const std::byte> image, const std::vector<std::string>& argv,
                std::unique_ptr<Process> process);

  ProcessEntry* find(int32_t id);
  // Ends the bookkeeping of an ended child its parent has waited for.
  void reap(int32_t id) { entries_.erase(id); }
  template <typename Visit>
  void for_each_child(int32_t parent, Visit visit) {
    for (auto& [id, entry] : entries_) {
      if (entry->parent == parent) visit(*entry);
    }
  }

  FileSystem* file_system() const { return file_system_; }
  FifoTable& fifos() { return fifos_; }
  KeyMode& key_mode() { return key_mode_; }
  // The runner's own descriptor (0, 1, 2) behind `file`, or -1: a read or write on it
  // could hold up the whole run.
  int host_descriptor(const OpenFile* file) const;
  // Whether `fd` of the runner is ready for `events` (POLLIN, POLLOUT) without waiting.
  static bool host_ready(int fd, short events);

 private:
  ProcessEntry& add(int32_t parent, std::unique_ptr<Guest> guest, std::unique_ptr<Process> process);
  std::unique_ptr<Guest> start_first(const std::vector<std::string>& program);
  ProcessEntry* next_ready();
  void serve(ProcessEntry& entry, const KernelCall& call);
  std::optional<int32_t> attempt(ProcessEntry& entry);
  void settle(ProcessEntry& entry);
  void retry_waiting();
  void end(ProcessEntry& entry, int status);
  void on_event(ProcessEntry& entry, const TrapEvent& event);
  bool wait_for_event();
  void trace(const ProcessEntry& entry, const KernelCall& call, std::optional<int32_t> result);
  void print(const ProcessEntry& entry, const std::string& line);
  void print(const ProcessEntry& entry, const std::string& line, std::FILE* stream);
  void trace_end(const ProcessEntry& entry, const std::string& how);
  int stopped(int signal);
  void end_all();
  // The killed-by-signal line with the crash report, and the core file when asked for.
  void report_crash(ProcessEntry& entry, const TrapEvent& event);
  // Serves the debugger for the first program until it detaches or the program ends; the
  // run's status when the run is over, nothing when the loop goes on.
  std::optional<int> debug_first(ProcessEntry& first);

  friend class SchedulerDebugTarget;
  bool debugging_ = false;
  int32_t debugged_id_ = 0;
  std::optional<TrapEvent> debug_stop_;  // the debugged program's last stop

  FileSystem* file_system_;
  TestHooks* hooks_;
  const RunSettings& settings_;
  std::map<int32_t, std::unique_ptr<ProcessEntry>> entries_;
  std::map<pid_t, int32_t> by_host_pid_;
  int32_t next_id_ = 1;
  int32_t last_ran_ = 0;  // the emulated program that ran last, for taking turns
  Platform platform_ = Platform::automatic;
  bool several_ = false;  // a second program has started: trace lines name their process
  FifoTable fifos_;
  KeyMode key_mode_;
  std::array<const OpenFile*, 3> host_files_{};  // the first program's 0-2 as the runner made them
  int child_signals_ = -1;  // signalfd for SIGCHLD: waits that also watch time and input
};

}  // namespace vornos::kernel
