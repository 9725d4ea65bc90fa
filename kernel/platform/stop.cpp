// The stop handler and the table of programs it kills.
#include "platform/stop.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cmath>

namespace vornos::kernel {
namespace {

// Room for every program one run starts; a program beyond it still ends with the runner
// (PTRACE_O_EXITKILL), only not at the moment of the stop.
constexpr int kKillSlots = 64;
std::atomic<int> g_to_kill[kKillSlots];  // pidfd + 1 of each program a stop kills; 0 when free
std::atomic<int> g_stop_signal{0};
int g_null = -1;  // /dev/null, opened before any stop can come
std::atomic<void (*)()> g_stop_hook{nullptr};

void on_stop(int signal) {
  int expected = 0;
  g_stop_signal.compare_exchange_strong(expected, signal);
  for (std::atomic<int>& slot : g_to_kill) {
    if (const int entry = slot.load(); entry > 0) syscall(SYS_pidfd_send_signal, entry - 1, SIGKILL, nullptr, 0);
  }
  if (void (*hook)() = g_stop_hook.load()) hook();
  // A read of the runner's input or a write to its output on the program's behalf may be
  // about to wait (on a terminal, a full pipe): with /dev/null in their place it cannot,
  // and one that waits already returns EINTR. The program is gone; nothing is lost.
  if (g_null >= 0) {
    dup2(g_null, STDIN_FILENO);
    dup2(g_null, STDOUT_FILENO);
  }
}

}  // namespace

void install_stop_handlers() {
  g_null = open("/dev/null", O_RDWR | O_CLOEXEC);
  struct sigaction action {};
  action.sa_handler = on_stop;
  sigfillset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGALRM}) sigaction(signal, &action, nullptr);
}

void set_stop_hook(void (*hook)()) { g_stop_hook.store(hook); }

void start_timeout(double seconds) {
  if (seconds <= 0) return;
  itimerval timer{};
  timer.it_value.tv_sec = static_cast<time_t>(seconds);
  timer.it_value.tv_usec = static_cast<suseconds_t>(std::fmod(seconds, 1.0) * 1e6);
  if (timer.it_value.tv_sec == 0 && timer.it_value.tv_usec == 0) timer.it_value.tv_usec = 1;
  setitimer(ITIMER_REAL, &timer, nullptr);
}

int stop_signal() { return g_stop_signal.load(); }

int stop_status(int signal) { return signal == SIGALRM ? 124 : 128 + signal; }

KillOnStop::KillOnStop(pid_t pid) : pidfd_(static_cast<int>(syscall(SYS_pidfd_open, pid, 0))) {
  if (pidfd_ < 0) return;
  for (int index = 0; index < kKillSlots; ++index) {
    int expected = 0;
    if (g_to_kill[index].compare_exchange_strong(expected, pidfd_ + 1)) {
      slot_ = index;
      return;
    }
  }
}

KillOnStop::~KillOnStop() {
  if (slot_ >= 0) g_to_kill[slot_].store(0);
  if (pidfd_ >= 0) close(pidfd_);
}

}  // namespace vornos::kernel
