// Runs vornos-run (or any command) with given input; collects status, outputs and peak memory.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace vornos::kernel::testing {

struct CommandResult {
  int status = -1;  // exit status, or 128 + signal when the command itself was killed
  std::string out;
  std::string err;
  long peak_rss_kib = 0;  // the command's peak resident set, as seen whenever it wrote
};

struct CommandInput {
  std::string bytes{};          // fed to standard input, which is then closed...
  bool keep_open = false;       // ...unless this is set (a program waiting for input waits on)
  int signal_on_output = 0;     // sent to the command once it has written to standard output
};


// The test program (guests/guest.c), and the vornos-run and mendir built with these tests.
inline std::string guest() { return VORNOS_TEST_GUEST; }
inline std::string runner() { return VORNOS_RUN_PATH; }
inline std::string mendir() { return VORNOS_MENDIR_PATH; }

// VmHWM of a running process, which starts afresh at its exec (unlike the rusage figure,
// which includes the test's own memory copied by the fork).
inline long peak_rss_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
  }
  return 0;
}

inline CommandResult run_command(const std::vector<std::string>& argv, const CommandInput& input = {}) {
  std::FILE* const in = std::tmpfile();
  std::FILE* const err = std::tmpfile();
  std::fwrite(input.bytes.data(), 1, input.bytes.size(), in);
  std::fflush(in);
  std::rewind(in);
  int open_input[2] = {-1, -1}, out[2];
  if ((input.keep_open && pipe2(open_input, O_CLOEXEC) != 0) || pipe2(out, O_CLOEXEC) != 0) return {};
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    // Lift the ends clear of 0, 1 and 2 first: one of them may be 0, 1 or 2 itself.
    const int ends[3] = {fcntl(input.keep_open ? open_input[0] : fileno(in), F_DUPFD_CLOEXEC, 3),
                         fcntl(out[1], F_DUPFD_CLOEXEC, 3), fcntl(fileno(err), F_DUPFD_CLOEXEC, 3)};
    for (int target = 0; target < 3; ++target) dup2(ends[target], target);
    execv(pointers[0], pointers.data());
    _exit(255);
  }
  close(out[1]);
  if (input.keep_open) close(open_input[0]);
  CommandResult result;
  char chunk[65536];
  for (ssize_t got; (got = read(out[0], chunk, sizeof chunk)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    result.out.append(chunk, static_cast<size_t>(got));
    result.peak_rss_kib = std::max(result.peak_rss_kib, peak_rss_kib(pid));
    if (input.signal_on_output != 0 && result.out.size() == static_cast<size_t>(got)) kill(pid, input.signal_on_output);
  }
  close(out[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::rewind(err);
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, err)) > 0;) result.err.append(chunk, got);
  if (input.keep_open) close(open_input[1]);
  std::fclose(in);
  std::fclose(err);
  return result;
}

}  // namespace vornos::kernel::testing
