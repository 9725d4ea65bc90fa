// The event loop: every traced program's next trap, served in the order they come; programs
// whose call cannot complete yet wait, unresumed, until it can.
#include "process/event_loop.h"

#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "base/blocking.h"
#include "base/error_codes.h"
#include "base/host_failure.h"
#include "calls/call_table.h"
#include "platform/elf_check.h"
#include "platform/emulated_guest.h"
#include "platform/remote_call.h"
#include "platform/signal_text.h"
#include "platform/stop.h"
#include "platform/tracee.h"

namespace vornos::kernel {

// The process table as one program's calls see it.
class ProgramControl final : public ProcessControl {
 public:
  ProgramControl(EventLoop& loop, Program& self) : loop_(loop), self_(self) {}

  bool can_run(std::span<const std::byte> image) const override { return check_program_image(image).empty(); }
  int32_t start_child(std::span<const std::byte> image, const std::vector<std::string>& argv,
                      std::unique_ptr<ProcessFiles> files) override {
    return loop_.spawn(self_, image, argv, std::move(files));
  }
  std::vector<Child> children() const override {
    std::vector<Child> found;
    for (const auto& [id, program] : loop_.programs_) {
      if (program->parent == self_.id) found.push_back({id, program->state == Program::State::ended, program->exit_status});
    }
    return found;
  }
  void reap(int32_t id) override { loop_.programs_.erase(id); }
  bool alone() const override { return loop_.programs_.size() == 1 && !loop_.debugging_; }
  void set_key_mode(bool on) override { on ? loop_.key_mode_.enter() : loop_.key_mode_.leave(); }

 private:
  EventLoop& loop_;
  Program& self_;
};

EventLoop::~EventLoop() {
  end_all();
  if (child_signals_ >= 0) close(child_signals_);
}

Program* EventLoop::find(int32_t id) {
  const auto found = programs_.find(id);
  return found == programs_.end() ? nullptr : found->second.get();
}

Program& EventLoop::add(int32_t parent, std::unique_ptr<Guest> guest, std::unique_ptr<ProcessFiles> files) {
  auto program = std::make_unique<Program>(next_id_++, parent);
  program->memory = guest->memory();
  program->files = std::move(files);
  program->control = std::make_unique<ProgramControl>(*this, *program);
  program->context = std::make_unique<CallContext>(*program->files, *program->memory, file_system_, names_);
  program->context->programs = program->control.get();
  program->context->guest = guest.get();
  program->context->hooks = hooks_;
  if (guest->host_pid() >= 0) by_host_pid_[guest->host_pid()] = program->id;
  program->guest = std::move(guest);
  several_ = several_ || !programs_.empty();
  Program& added = *program;
  programs_.emplace(added.id, std::move(program));
  if (trace_ != nullptr) trace_->program_started(added.id);
  return added;
}

int32_t EventLoop::spawn(Program& parent, std::span<const std::byte> image, const std::vector<std::string>& argv,
                         std::unique_ptr<ProcessFiles> files) {
  if (programs_.size() >= kProcessLimit) return kTryAgain;
  if (platform_ == Platform::emulated) {
    std::unique_ptr<Guest> guest;
    try {
      guest = std::make_unique<EmulatedGuest>(image, argv);
    } catch (const ExecFailure&) {
      return kNotExecutable;
    }
    Program& child = add(parent.id, std::move(guest), std::move(files));
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
  Program& child = add(parent.id, std::move(tracee), std::move(files));
  child.guest->run_to_trap();
  return child.id;
}

void EventLoop::print(const Program& entry, const std::string& line) {
  const std::string whole = (several_ ? "[pid " + std::to_string(entry.id) + "] " : std::string()) + line + '\n';
  std::fwrite(whole.data(), 1, whole.size(), settings_.diagnostics);
  std::fflush(settings_.diagnostics);
}

void EventLoop::trace(const Program& entry, std::optional<int32_t> result) {
  if (trace_ != nullptr) trace_->call_served(entry.id, entry.made, result, *entry.memory);
}

void EventLoop::trace_end(const Program& entry, const std::string& how) {
  if (trace_ != nullptr) trace_->program_ended(entry.id, how);
}

void EventLoop::serve(Program& entry, const KernelCall& call) {
  ++entry.calls_made;
  entry.made = call;
  entry.waiting_on.reset();
  entry.state = Program::State::waiting;
  if (const std::optional<int32_t> result = attempt(entry, &call)) answer(entry, *result);
}

// Serves the program's call, as a new call or again while it waits: its result, or nullopt
// while it must wait on (or when the program ended meanwhile).
std::optional<int32_t> EventLoop::attempt(Program& entry, const KernelCall* new_call) {
  CallOutcome outcome;
  try {
    outcome = new_call != nullptr ? serve_call(*entry.context, *new_call) : serve_again(*entry.context);
  } catch (const ProgramEnded& ended) {
    if (const std::optional<TrapEvent> event = static_cast<Tracee&>(*entry.guest).on_status(ended.wait_status)) {
      on_event(entry, *event);
    }
    return std::nullopt;
  } catch (const OutputPipeClosed&) {
    // As SIGPIPE ends a Unix program that writes to a pipe without a reader: no message.
    trace(entry, kBrokenPipe);
    trace_end(entry, "killed by SIGPIPE");
    entry.guest->kill();
    end(entry, 128 + SIGPIPE);
    return std::nullopt;
  }
  if (outcome.ends_program) {
    trace(entry, std::nullopt);
    trace_end(entry, "exited with " + std::to_string(outcome.exit_status));
    entry.guest->kill();
    end(entry, outcome.exit_status);
    return std::nullopt;
  }
  entry.waiting_on = outcome.wait;
  if (outcome.wait) return std::nullopt;
  return outcome.result;
}

// Answers the call the program waited in and resumes it.
void EventLoop::answer(Program& entry, int32_t result) {
  entry.waiting_on.reset();
  entry.state = Program::State::running;
  trace(entry, result);
  entry.guest->answer(result);
  entry.guest->run_to_trap();
}

void EventLoop::retry_waiting() {
  // Serving one call can let others complete (a read makes room for a writer), so go
  // round until a pass completes none.
  for (bool progress = true; progress;) {
    progress = false;
    const Clock::time_point now = Clock::now();
    std::vector<int32_t> waiting;
    for (const auto& [id, entry] : programs_) {
      if (entry->state != Program::State::waiting) continue;
      if (entry->waiting_on && !entry->waiting_on->may_be_met(now)) continue;
      waiting.push_back(id);
    }
    for (const int32_t id : waiting) {
      Program* entry = find(id);
      if (entry == nullptr || entry->state != Program::State::waiting) continue;
      if (const std::optional<int32_t> result = attempt(*entry, nullptr)) answer(*entry, *result);
      entry = find(id);
      progress = progress || entry == nullptr || entry->state != Program::State::waiting;
    }
  }
}

void EventLoop::end(Program& entry, int status) {
  entry.state = Program::State::ended;
  entry.exit_status = status;
  entry.memory.reset();
  if (entry.guest) {
    by_host_pid_.erase(entry.guest->host_pid());
    entry.guest.reset();
  }
  if (entry.files) entry.files->end(file_system_);
  entry.context.reset();
  entry.control.reset();
  entry.files.reset();
  entry.memory.reset();
  // Its children have nobody left to wait for them: the ended ones go now, the others when
  // they end.
  std::vector<int32_t> orphans_ended;
  for (auto& [id, child] : programs_) {
    if (child->parent != entry.id) continue;
    child->parent = 0;
    if (child->state == Program::State::ended) orphans_ended.push_back(id);
  }
  for (const int32_t id : orphans_ended) programs_.erase(id);
  if (entry.parent == 0 && entry.id != 1) programs_.erase(entry.id);
}

void EventLoop::on_event(Program& entry, const TrapEvent& event) {
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

bool EventLoop::wait_for_event() {
  if (Program* ready = next_ready()) return run_emulated(*ready);
  return wait_for_host();
}

// An emulated program runs here, to its next trap. When others wait to run, or on time or
// the runner's input, it runs for a slice at most, so that all of them take turns.
bool EventLoop::run_emulated(Program& ready) {
  bool others = false;
  for (const auto& [id, entry] : programs_) {
    if (entry.get() == &ready || entry->state == Program::State::ended) continue;
    const bool watched = entry->waiting_on && (entry->waiting_on->deadline() || entry->waiting_on->watched());
    others = others || (entry->guest && entry->guest->ready()) || watched;
  }
  constexpr uint32_t kSliceMicroseconds = 10000;
  last_ran_ = ready.id;
  // Under the debugger the program runs in slices too, so that its interrupt is seen.
  const TrapEvent event = ready.guest->run(others || debugging_ ? kSliceMicroseconds : 0);
  if (stop_signal() != 0) return false;
  on_event(ready, event);
  return true;
}

// A traced program's trap or end, or (while some program waits on them) the time and the
// runner's descriptors the waiting calls named.
bool EventLoop::wait_for_host() {
  bool timed = false;
  Clock::time_point wake = Clock::time_point::max();
  std::vector<pollfd> watched{{child_signals_, POLLIN, 0}};
  for (const auto& [id, entry] : programs_) {
    if (entry->state != Program::State::waiting || !entry->waiting_on) continue;
    if (const auto deadline = entry->waiting_on->deadline()) wake = std::min(wake, *deadline), timed = true;
    if (const auto descriptor = entry->waiting_on->watched()) watched.push_back(*descriptor);
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
  Program& entry = *programs_.at(known->second);
  const std::optional<TrapEvent> event = static_cast<Tracee&>(*entry.guest).on_status(status);
  // A stop killed it: the run ends as stopped, not with this program's end.
  if (stop_signal() != 0) return false;
  if (event) on_event(entry, *event);
  return true;
}

int EventLoop::stopped(int signal) {
  end_all();
  char timeout[64];
  std::snprintf(timeout, sizeof timeout, "it ran longer than its --timeout of %g seconds", settings_.timeout_seconds);
  const std::string line = "vornos-run: program ended: " +
                           (signal == SIGALRM ? std::string(timeout) : "the runner received " + signal_name(signal)) + '\n';
  std::fwrite(line.data(), 1, line.size(), settings_.diagnostics);
  std::fflush(settings_.diagnostics);
  return stop_status(signal);
}

void EventLoop::end_all() {
  for (auto& [id, entry] : programs_) {
    if (entry->state == Program::State::ended) continue;
    if (entry->guest) entry->guest->kill();
    entry->state = Program::State::ended;
    entry->exit_status = 128 + SIGKILL;
  }
  // Descriptors go after every program has ended, so none is woken by a closing pipe.
  for (auto& [id, entry] : programs_) {
    if (entry->files) entry->files->end(file_system_);
  }
  programs_.clear();
  by_host_pid_.clear();
  key_mode_.leave();
}

// The next emulated program that waits to run, taking turns by id after the last one run.
Program* EventLoop::next_ready() {
  Program* first = nullptr;
  for (const auto& [id, entry] : programs_) {
    if (entry->state == Program::State::ended || !entry->guest || !entry->guest->ready()) continue;
    if (id > last_ran_) return entry.get();
    if (first == nullptr) first = entry.get();
  }
  return first;
}

// The first program, on the platform asked for; by default traced where Linux runs it, and
// emulated where Linux cannot execute 32-bit x86 code at all.
std::unique_ptr<Guest> EventLoop::start_first(const std::vector<std::string>& program) {
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

int EventLoop::run(const std::vector<std::string>& program, Device& input, Device& output, Device& error) {
  if (const int signal = stop_signal()) return stop_status(signal);
  // Program state changes arrive as SIGCHLD on this descriptor, for the waits that also
  // watch the clock and the runner's input.
  sigset_t child_signal;
  sigemptyset(&child_signal);
  sigaddset(&child_signal, SIGCHLD);
  sigprocmask(SIG_BLOCK, &child_signal, nullptr);
  child_signals_ = signalfd(-1, &child_signal, SFD_NONBLOCK | SFD_CLOEXEC);
  if (child_signals_ < 0) throw HostFailure("signalfd", errno);

  Program& first = add(0, start_first(program), std::make_unique<ProcessFiles>(input, output, &error));
  first.program_path = program.front();
  start_timeout(settings_.timeout_seconds);
  first.guest->run_to_trap();
  if (settings_.gdb_port) {
    if (const std::optional<int> status = debug_first(first)) return *status;
  }
  for (;;) {
    if (const int signal = stop_signal()) return stopped(signal);
    if (first.state == Program::State::ended) {
      const int status = first.exit_status;
      end_all();
      return status;
    }
    if (wait_for_event()) retry_waiting();
  }
}

}  // namespace vornos::kernel
