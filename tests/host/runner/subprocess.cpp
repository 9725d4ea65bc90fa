// run_command: fork/exec with three pipes, fed and drained with poll so nothing blocks.
#include "subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>

namespace vornos::kernel::testing {
namespace {

// VmHWM of a running process, which starts afresh at its exec (unlike the rusage figure,
// which includes the test's own memory copied by the fork).
long peak_rss_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
  }
  return 0;
}

}  // namespace

CommandResult run_command(const std::vector<std::string>& argv, const CommandInput& input) {
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {};
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    // Lift the pipe ends clear of 0, 1 and 2 first: one of them may be 0, 1 or 2 itself.
    const int ends[3] = {fcntl(in[0], F_DUPFD_CLOEXEC, 3), fcntl(out[1], F_DUPFD_CLOEXEC, 3), fcntl(err[1], F_DUPFD_CLOEXEC, 3)};
    for (int target = 0; target < 3; ++target) dup2(ends[target], target);
    execv(pointers[0], pointers.data());
    _exit(255);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  CommandResult result;
  size_t fed = 0;
  int input_fd = in[1];
  fcntl(input_fd, F_SETFL, O_NONBLOCK);
  int signal_on_output = input.signal_on_output;
  int open_outputs = 2;
  while (open_outputs > 0) {
    const bool feeding = input_fd >= 0 && fed < input.bytes.size();
    if (input_fd >= 0 && !feeding && !input.keep_open) {
      close(input_fd);
      input_fd = -1;
    }
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {feeding ? input_fd : -1, POLLOUT, 0}};
    if (poll(fds, 3, -1) < 0 && errno == EINTR) continue;
    for (int index = 0; index < 2; ++index) {
      if (fds[index].fd < 0 || fds[index].revents == 0) continue;
      char chunk[65536];
      const ssize_t got = read(fds[index].fd, chunk, sizeof chunk);
      if (got > 0) {
        (index == 0 ? result.out : result.err).append(chunk, static_cast<size_t>(got));
        result.peak_rss_kib = std::max(result.peak_rss_kib, peak_rss_kib(pid));
      } else {
        close(fds[index].fd);
        (index == 0 ? out[0] : err[0]) = -1;
        --open_outputs;
      }
    }
    if (signal_on_output != 0 && !result.out.empty()) {
      kill(pid, signal_on_output);
      signal_on_output = 0;
    }
    if (feeding && fds[2].revents != 0) {
      const ssize_t put = write(input_fd, input.bytes.data() + fed, input.bytes.size() - fed);
      if (put > 0) fed += static_cast<size_t>(put);
      if (put < 0 && errno != EAGAIN && errno != EINTR) fed = input.bytes.size();
    }
  }
  if (input_fd >= 0) close(input_fd);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace vornos::kernel::testing
