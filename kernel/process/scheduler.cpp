// The event loop: every traced program's next trap, served in the order they come; programs
// whose call cannot complete yet wait, unresumed, until it can.
#include "process/scheduler.h"

#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "base/abi.h"
#include "base/error_codes.h"
#include "process/process_calls.h"
#include "pipes/pipe.h"
#include "base/blocking.h"
#include "process/elf_check.h"
#include "process/emulated_guest.h"
#include "base/host_failure.h"
#include "process/remote_call.h"
#include "process/stop.h"
#include "process/tracee.h"
#include "process/signal_text.h"
#include "trace/trace_printer.h"

namespace vornos::kernel {
namespace {

// The calls whose waiting a non-blocking descriptor turns into -11, and that descriptor.
std::optional<int32_t> waiting_descriptor(const KernelCall& call) {
  if (call.number == call::read || call.number == call::write) return static_cast<int32_t>(call.args[0]);
  if (call.number == call::getkey) return 0;
  return std::nullopt;
}

}  // namespace

Scheduler::~Scheduler() {
  end_all();
  if (child_signals_ >= 0) close(child_signals_);
}

ProcessEntry* Scheduler::find(int32_t id) {
  const auto found = entries_.find(id);
  return found == entries_.end() ? nullptr : found->second.get();
}

int Scheduler::host_descriptor(const OpenFile* file) const {
  for (int fd = 0; fd < 3; ++fd) {
    if (file != nullptr && file == host_files_[static_cast<size_t>(fd)]) return fd;
  }
  return -1;
}

bool Scheduler::host_ready(int fd, short events) {
  pollfd watched{fd, events, 0};
  return poll(&watched, 1, 0) != 0;
}

ProcessEntry& Scheduler::add(int32_t parent, std::unique_ptr<Guest> guest, std::unique_ptr<Process> process) {
  auto entry = std::make_unique<ProcessEntry>(next_id_++, parent);
  entry->memory = guest->memory();
  entry->process = std::move(process);
  entry->extension = std::make_unique<ProcessCalls>(*this, *entry);
  entry->calls = std::make_unique<CallTable>(*entry->process, file_system_, hooks_);
  entry->calls->set_extension(entry->extension.get());
  if (guest->host_pid() >= 0) by_host_pid_[guest->host_pid()] = entry->id;
  entry->guest = std::move(guest);
  several_ = several_ || !entries_.empty();
  ProcessEntry& added = *entry;
  entries_.emplace(added.id, std::move(entry));
  return added;
}

int32_t Scheduler::spawn(ProcessEntry& parent, std::span<const std::byte> image, const std::vector<std::string>& argv,
                         std::unique_ptr<Process> process) {
  if (entries_.size() >= kProcessLimit) return kTryAgain;
  if (platform_ == Platform::emulated) {
    std::unique_ptr<Guest> guest;
    try {
      guest = std::make_unique<EmulatedGuest>(image, argv);
    } catch (const ExecFailure&) {
      return kNotExecutable;
    }
    ProcessEntry& child = add(parent.id, std::move(guest), std::move(process));
    child.guest->run_to_trap();
    return child.id;
  }
  // Linux runs the program from a memory file holding the bytes read from the volume.
  const int program = memfd_create("vornos-program", MFD_CLOEXEC);
  if (program < 0) return from_host_errno(errno);
  size_t written = 0;
  while (written < image.size()) {
    const ssize_t put = write(program, image.data() + written, image.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      close(program);
      return kIoError;
    }
    written += static_cast<size_t>(put);
  }
  std::unique_ptr<Tracee> tracee;
  try {
    tracee = std::make_unique<Tracee>(program, argv);
  } catch (const ExecFailure&) {
    close(program);
    return kNotExecutable;  // checked like the first program, yet Linux would not run it
  } catch (const HostFailure& failure) {
    close(program);
    return from_host_errno(failure.host_errno());
  }
  close(program);
  ProcessEntry& child = add(parent.id, std::move(tracee), std::move(process));
  child.guest->run_to_trap();
  return child.id;
}

void Scheduler::print(const ProcessEntry& entry, const std::string& line, std::FILE* stream) {
  const std::string whole = (several_ ? "[pid " + std::to_string(entry.id) + "] " : std::string()) + line + '\n';
  std::fwrite(whole.data(), 1, whole.size(), stream);
  std::fflush(stream);
}

void Scheduler::print(const ProcessEntry& entry, const std::string& line) { print(entry, line, settings_.diagnostics); }

void Scheduler::trace(const ProcessEntry& entry, const KernelCall& call, std::optional<int32_t> result) {
  if (settings_.trace) print(entry, format_call(call, result, *entry.memory), settings_.trace_output);
}

// The trace's last line for a program, as strace's: "+++ exited with 3 +++".
void Scheduler::trace_end(const ProcessEntry& entry, const std::string& how) {
  if (settings_.trace) print(entry, "+++ " + how + " +++", settings_.trace_output);
}

void Scheduler::serve(ProcessEntry& entry, const KernelCall& call) {
  ++entry.calls_made;
  entry.made = entry.left = call;
  entry.done = 0;
  entry.wake_at.reset();
  entry.host_wait.reset();
  entry.opening.reset();
  entry.state = ProcessEntry::State::waiting;
  settle(entry);
}

// Serves what is left of the call the program waits in: its result, or nullopt while it
// must wait on (or when the program ended meanwhile).
std::optional<int32_t> Scheduler::attempt(ProcessEntry& entry) {
  const KernelCall& call = entry.left;
  OpenFile* file = nullptr;
  if (const std::optional<int32_t> fd = waiting_descriptor(call)) file = entry.process->descriptors.find(*fd);
  // Alone, a program may wait in the runner on the runner's own input or output; beside
  // others, or under the debugger (whose interrupt must be seen), it waits here, unresumed,
  // until that is ready.
  if (call.number == call::read || call.number == call::write) {
    const short events = call.number == call::read ? POLLIN : POLLOUT;
    const int host = host_descriptor(file);
    if (host >= 0 && (entries_.size() > 1 || debugging_ || file->nonblocking) && !host_ready(host, events)) {
      if (file->nonblocking) return kTryAgain;
      entry.host_wait = pollfd{host, events, 0};
      return std::nullopt;
    }
  }
  entry.host_wait.reset();
  CallOutcome outcome;
  try {
    outcome = entry.calls->serve(call, *entry.memory);
  } catch (const ProgramEnded& ended) {
    if (const std::optional<TrapEvent> event = static_cast<Tracee&>(*entry.guest).on_status(ended.wait_status)) {
      on_event(entry, *event);
    }
    return std::nullopt;
  } catch (const OutputPipeClosed&) {
    // As SIGPIPE ends a Unix program that writes to a pipe without a reader: no message.
    trace(entry, entry.made, kBrokenPipe);
    trace_end(entry, "killed by SIGPIPE");
    entry.guest->kill();
    end(entry, 128 + SIGPIPE);
    return std::nullopt;
  }
  if (outcome.ends_program) {
    trace(entry, entry.made, std::nullopt);
    trace_end(entry, "exited with " + std::to_string(outcome.exit_status));
    entry.guest->kill();
    end(entry, outcome.exit_status);
    return std::nullopt;
  }
  const int32_t result = outcome.result;
  // A write to a pipe completes: what fit is done, the rest waits for room.
  if (call.number == call::write && result > 0 && static_cast<uint32_t>(result) < call.args[2] &&
      dynamic_cast<PipeEnd*>(file) != nullptr && !file->nonblocking) {
    entry.done += static_cast<uint32_t>(result);
    entry.left.args[1] += static_cast<uint32_t>(result);
    entry.left.args[2] -= static_cast<uint32_t>(result);
    return std::nullopt;
  }
  if (result != kWouldWait) return result;
  if (file != nullptr && file->nonblocking) return kTryAgain;
  return std::nullopt;
}

// Answers the call the program waits in and resumes it, once the call completes.
void Scheduler::settle(ProcessEntry& entry) {
  std::optional<int32_t> result = attempt(entry);
  if (!result) return;
  // Bytes already written count, whatever ended the write.
  if (entry.done > 0) *result = *result >= 0 ? *result + static_cast<int32_t>(entry.done) : static_cast<int32_t>(entry.done);
  entry.wake_at.reset();
  entry.state = ProcessEntry::State::running;
  trace(entry, entry.made, *result);
  entry.guest->answer(*result);
  entry.guest->run_to_trap();
}

void Scheduler::retry_waiting() {
  // Serving one call can let others complete (a read makes room for a writer), so go
  // round until a pass completes none.
  for (bool progress = true; progress;) {
    progress = false;
    const Clock::time_point now = Clock::now();
    std::vector<int32_t> waiting;
    for (const auto& [id, entry] : entries_) {
      if (entry->state != ProcessEntry::State::waiting) continue;
      if (entry->wake_at && now < *entry->wake_at) continue;
      if (entry->host_wait && !host_ready(entry->host_wait->fd, entry->host_wait->events)) continue;
      waiting.push_back(id);
    }
    for (const int32_t id : waiting) {
      ProcessEntry* entry = find(id);
      if (entry == nullptr || entry->state != ProcessEntry::State::waiting) continue;
      settle(*entry);
      entry = find(id);
      progress = progress || entry == nullptr || entry->state != ProcessEntry::State::waiting;
    }
  }
}

void Scheduler::end(ProcessEntry& entry, int status) {
  entry.state = ProcessEntry::State::ended;
  entry.exit_status = status;
  entry.memory.reset();
  if (entry.guest) {
    by_host_pid_.erase(entry.guest->host_pid());
    entry.guest.reset();
  }
  entry.opening.reset();
  if (entry.process) entry.process->end(file_system_);
  entry.calls.reset();
  entry.extension.reset();
  entry.process.reset();
  entry.memory.reset();
  // Its children have nobody left to wait for them: the ended ones go now, the others when
  // they end.
  std::vector<int32_t> orphans_ended;
  for (auto& [id, child] : entries_) {
    if (child->parent != entry.id) continue;
    child->parent = 0;
    if (child->state == ProcessEntry::State::ended) orphans_ended.push_back(id);
  }
  for (const int32_t id : orphans_ended) entries_.erase(id);
  if (entry.parent == 0 && entry.id != 1) entries_.erase(entry.id);
}

void Scheduler::on_event(ProcessEntry& entry, const TrapEvent& event) {
  switch (event.kind) {
    case TrapEvent::Kind::call: serve(entry, event.call); break;
    case TrapEvent::Kind::exited:
      trace_end(entry, "exited with " + std::to_string(event.exit_status));
      end(entry, event.exit_status);
      break;
    case TrapEvent::Kind::preempted: entry.guest->run_to_trap(); break;
    case TrapEvent::Kind::killed:
      report_crash(entry, event);
      trace_end(entry, "killed by " + signal_name(event.signal));
      entry.killed_by = event.signal;
      end(entry, 128 + event.signal);
      break;
    case TrapEvent::Kind::stopped: debug_stop_ = event; break;
  }
}

// Waits for the next change: a program's trap or end, and while some program waits on time
// or on the runner's input or output, those too. False when it was interrupted (by a stop).
bool Scheduler::wait_for_event() {
  // An emulated program runs here, to its next trap. When others wait to run, or on time or
  // the runner's input, it runs for a slice at most, so that all of them take turns.
  if (ProcessEntry* ready = next_ready()) {
    bool others = false;
    for (const auto& [id, entry] : entries_) {
      if (entry.get() == ready || entry->state == ProcessEntry::State::ended) continue;
      others = others || (entry->guest && entry->guest->ready()) || entry->wake_at || entry->host_wait;
    }
    constexpr uint32_t kSliceMicroseconds = 10000;
    last_ran_ = ready->id;
    // Under the debugger the program runs in slices too, so that its interrupt is seen.
    const TrapEvent event = ready->guest->run(others || debugging_ ? kSliceMicroseconds : 0);
    if (stop_signal() != 0) return false;
    on_event(*ready, event);
    return true;
  }
  bool timed = false;
  Clock::time_point wake = Clock::time_point::max();
  std::vector<pollfd> watched{{child_signals_, POLLIN, 0}};
  for (const auto& [id, entry] : entries_) {
    if (entry->state != ProcessEntry::State::waiting) continue;
    if (entry->wake_at) wake = std::min(wake, *entry->wake_at), timed = true;
    if (entry->host_wait) watched.push_back(*entry->host_wait);
  }
  if (debugging_) {
    // The debugger's interrupt is looked for between waits, so none may last long.
    wake = std::min(wake, Clock::now() + std::chrono::milliseconds(50));
    timed = true;
  }
  const bool polled = timed || watched.size() > 1;
  int status = 0;
  pid_t pid = waitpid(-1, &status, __WALL | (polled ? WNOHANG : 0));
  if (pid == 0 || (pid < 0 && errno == ECHILD && polled)) {
    timespec timeout{};
    if (timed) {
      const auto left = std::max(Clock::duration::zero(), wake - Clock::now());
      const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      timeout.tv_sec = static_cast<time_t>(nanoseconds / 1000000000);
      timeout.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    }
    ppoll(watched.data(), watched.size(), timed ? &timeout : nullptr, nullptr);
    signalfd_siginfo drained;
    while (read(child_signals_, &drained, sizeof drained) > 0) {
    }
    return true;
  }
  if (pid < 0) {
    if (errno == EINTR) return false;
    // Every program waits on another: nothing can change but a stop from outside.
    if (errno == ECHILD) return pause(), false;
    throw HostFailure("waitpid", errno);
  }
  const auto known = by_host_pid_.find(pid);
  if (known == by_host_pid_.end()) return true;
  ProcessEntry& entry = *entries_.at(known->second);
  const std::optional<TrapEvent> event = static_cast<Tracee&>(*entry.guest).on_status(status);
  // A stop killed it: the run ends as stopped, not with this program's end.
  if (stop_signal() != 0) return false;
  if (event) on_event(entry, *event);
  return true;
}

int Scheduler::stopped(int signal) {
  end_all();
  char timeout[64];
  std::snprintf(timeout, sizeof timeout, "it ran longer than its --timeout of %g seconds", settings_.timeout_seconds);
  const std::string line = "vornos-run: program ended: " +
                           (signal == SIGALRM ? std::string(timeout) : "the runner received " + signal_name(signal)) + '\n';
  std::fwrite(line.data(), 1, line.size(), settings_.diagnostics);
  std::fflush(settings_.diagnostics);
  return stop_status(signal);
}

void Scheduler::end_all() {
  for (auto& [id, entry] : entries_) {
    if (entry->state == ProcessEntry::State::ended) continue;
    if (entry->guest) entry->guest->kill();
    entry->state = ProcessEntry::State::ended;
    entry->exit_status = 128 + SIGKILL;
  }
  // Descriptors go after every program has ended, so none is woken by a closing pipe.
  for (auto& [id, entry] : entries_) {
    if (entry->process) entry->process->end(file_system_);
  }
  entries_.clear();
  by_host_pid_.clear();
  key_mode_.leave();
}

// The next emulated program that waits to run, taking turns by id after the last one run.
ProcessEntry* Scheduler::next_ready() {
  ProcessEntry* first = nullptr;
  for (const auto& [id, entry] : entries_) {
    if (entry->state == ProcessEntry::State::ended || !entry->guest || !entry->guest->ready()) continue;
    if (id > last_ran_) return entry.get();
    if (first == nullptr) first = entry.get();
  }
  return first;
}

// The first program, on the platform asked for; by default traced where Linux runs it, and
// emulated where Linux cannot execute 32-bit x86 code at all.
std::unique_ptr<Guest> Scheduler::start_first(const std::vector<std::string>& program) {
  platform_ = settings_.platform;
  if (platform_ == Platform::ptrace) return std::make_unique<Tracee>(program.front(), program);
  if (platform_ == Platform::automatic) {
    int refused = 0;
    if (auto tracee = Tracee::try_start(program.front(), program, refused)) {
      platform_ = Platform::ptrace;
      return tracee;
    }
    // Refused for another reason than the machine's: as the ptrace platform says it.
    if (refused != ENOEXEC) return std::make_unique<Tracee>(program.front(), program);
  }
  platform_ = Platform::emulated;
  std::vector<std::byte> image;
  if (FILE* file = std::fopen(program.front().c_str(), "rb")) {
    std::byte chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) image.insert(image.end(), chunk, chunk + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) throw HostFailure("read " + program.front(), EIO);
  } else {
    throw HostFailure("open " + program.front(), errno);
  }
  if (const std::string reason = check_program_image(image); !reason.empty()) throw ExecFailure(reason);
  return std::make_unique<EmulatedGuest>(image, program);
}

int Scheduler::run(const std::vector<std::string>& program, Device& input, Device& output, Device& error) {
  if (const int signal = stop_signal()) return stop_status(signal);
  // Program state changes arrive as SIGCHLD on this descriptor, for the waits that also
  // watch the clock and the runner's input.
  sigset_t child_signal;
  sigemptyset(&child_signal);
  sigaddset(&child_signal, SIGCHLD);
  sigprocmask(SIG_BLOCK, &child_signal, nullptr);
  child_signals_ = signalfd(-1, &child_signal, SFD_NONBLOCK | SFD_CLOEXEC);
  if (child_signals_ < 0) throw HostFailure("signalfd", errno);

  auto process = std::make_unique<Process>(input, output, &error);
  for (int fd = 0; fd < 3; ++fd) host_files_[static_cast<size_t>(fd)] = process->descriptors.find(fd);
  ProcessEntry& first = add(0, start_first(program), std::move(process));
  first.program_path = program.front();
  start_timeout(settings_.timeout_seconds);
  first.guest->run_to_trap();
  if (settings_.gdb_port) {
    if (const std::optional<int> status = debug_first(first)) return *status;
  }
  for (;;) {
    if (const int signal = stop_signal()) return stopped(signal);
    if (first.state == ProcessEntry::State::ended) {
      const int status = first.exit_status;
      end_all();
      return status;
    }
    if (wait_for_event()) retry_waiting();
  }
}

}  // namespace vornos::kernel
