// Linux's signal numbers and the debugger's own numbering, which differs for some of them.
#include "debug/gdb_signals.h"

#include <array>
#include <csignal>
#include <utility>

namespace vornos::debug {
namespace {

constexpr int kGdbUnknownSignal = 143;

// {Linux, debugger}; the debugger keeps the historical Unix numbers (SIGBUS 10, SIGUSR1 30, ...).
constexpr std::array<std::pair<int, int>, 30> kSignals{{
    {SIGHUP, 1},     {SIGINT, 2},   {SIGQUIT, 3},   {SIGILL, 4},   {SIGTRAP, 5},   {SIGABRT, 6},
    {SIGFPE, 8},     {SIGKILL, 9},  {SIGBUS, 10},   {SIGSEGV, 11}, {SIGSYS, 12},   {SIGPIPE, 13},
    {SIGALRM, 14},   {SIGTERM, 15}, {SIGURG, 16},   {SIGSTOP, 17}, {SIGTSTP, 18},  {SIGCONT, 19},
    {SIGCHLD, 20},   {SIGTTIN, 21}, {SIGTTOU, 22},  {SIGIO, 23},   {SIGXCPU, 24},  {SIGXFSZ, 25},
    {SIGVTALRM, 26}, {SIGPROF, 27}, {SIGWINCH, 28}, {SIGUSR1, 30}, {SIGUSR2, 31},  {SIGPWR, 32},
}};

}  // namespace

int gdb_signal_from_host(int host_signal) {
  for (const auto& [host, gdb] : kSignals) {
    if (host == host_signal) return gdb;
  }
  return kGdbUnknownSignal;
}

int host_signal_from_gdb(int gdb_signal) {
  for (const auto& [host, gdb] : kSignals) {
    if (gdb == gdb_signal) return host;
  }
  return 0;
}

}  // namespace vornos::debug
