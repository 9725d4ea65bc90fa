// run_command: fork/exec with three pipes, fed and drained with poll so nothing blocks.
#include "subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace vornos::kernel::testing {

CommandResult run_command(const std::vector<std::string>& argv, const std::string& input) {
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {};
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    // With a standard descriptor closed in the test (CI may start it without input), a pipe
    // can land on 0, 1 or 2 itself; lift all three ends clear of them before putting them
    // in place, or one dup2 could overwrite another and a same-number dup2 keeps CLOEXEC.
    const int ends[3] = {fcntl(in[0], F_DUPFD_CLOEXEC, 3), fcntl(out[1], F_DUPFD_CLOEXEC, 3),
                         fcntl(err[1], F_DUPFD_CLOEXEC, 3)};
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
  if (input.empty()) {
    close(input_fd);
    input_fd = -1;
  } else {
    // Never block on the input while the command may be waiting for its output to drain.
    fcntl(input_fd, F_SETFL, O_NONBLOCK);
  }
  int open_outputs = 2;
  while (open_outputs > 0 || input_fd >= 0) {
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {input_fd, POLLOUT, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int index = 0; index < 2; ++index) {
      if (fds[index].fd < 0 || fds[index].revents == 0) continue;
      char chunk[65536];
      const ssize_t got = read(fds[index].fd, chunk, sizeof chunk);
      if (got > 0) {
        (index == 0 ? result.out : result.err).append(chunk, static_cast<size_t>(got));
      } else {
        close(fds[index].fd);
        (index == 0 ? out[0] : err[0]) = -1;
        --open_outputs;
      }
    }
    if (input_fd >= 0 && fds[2].revents != 0) {
      const ssize_t put = write(input_fd, input.data() + fed, input.size() - fed);
      if (put > 0) fed += static_cast<size_t>(put);
      const bool retry = put < 0 && (errno == EAGAIN || errno == EINTR);
      if ((put <= 0 && !retry) || fed == input.size()) {
        close(input_fd);
        input_fd = -1;
      }
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace vornos::kernel::testing
