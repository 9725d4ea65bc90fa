// strtold_compare: runs the guest probe under the stand-in kernel on the comparison corpus and
// checks every result, bit for bit, against the host model, for strtold and for strtod.
//
//   strtold_compare VORNOS_RUN PROBE [SEED]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "input_corpus.h"
#include "reference_strtold.h"

extern char** environ;

namespace {

using vornos::strtold_reference::comparison_inputs;
using vornos::strtold_reference::parse;

std::string hex(const void* bytes, std::size_t n) {
  std::string text;
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < n; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", p[i]);
    text += pair;
  }
  return text;
}

// The probe's line for one text, as the model says it must read.
std::string expected_line(const std::string& text) {
  const auto result = parse(text);
  const double rounded = static_cast<double>(result.value);
  return hex(&result.value, 10) + " " + std::to_string(result.end) + " " + hex(&rounded, 8) + " " +
         std::to_string(result.end);
}

// Texts are shown escaped, cut to a readable length.
std::string shown(const std::string& text) {
  std::string out;
  for (unsigned char c : text.substr(0, 80)) {
    if (c >= 32 && c < 127 && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    }
  }
  if (text.size() > 80) out += "...(" + std::to_string(text.size()) + " bytes)";
  return out;
}

std::string temporary_path(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/" + name + "." + std::to_string(getpid());
}

// Runs `runner probe < input > output`; returns the exit status, or -1 when it did not run.
int run_probe(const char* runner, const char* probe, const std::string& input,
              const std::string& output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  char* argv[] = {const_cast<char*>(runner), const_cast<char*>(probe), nullptr};
  pid_t pid;
  const int spawned = posix_spawn(&pid, runner, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    std::fprintf(stderr, "strtold_compare: cannot start %s: %s\n", runner, std::strerror(spawned));
    return -1;
  }
  int status;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      std::fprintf(stderr, "strtold_compare: waitpid: %s\n", std::strerror(errno));
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: strtold_compare VORNOS_RUN PROBE [SEED]\n");
    return 2;
  }
  const std::uint64_t seed = argc == 4 ? std::strtoull(argv[3], nullptr, 0) : 20261206;
  const std::vector<std::string> inputs = comparison_inputs(seed);

  const std::string input_path = temporary_path("strtold_inputs");
  const std::string output_path = temporary_path("strtold_results");
  {
    std::ofstream input(input_path, std::ios::binary);
    for (const std::string& text : inputs) input << text << '\0';
    if (!input) {
      std::fprintf(stderr, "strtold_compare: cannot write %s\n", input_path.c_str());
      return 2;
    }
  }
  const int status = run_probe(argv[1], argv[2], input_path, output_path);
  std::ifstream output_file(output_path, std::ios::binary);
  const std::string output((std::istreambuf_iterator<char>(output_file)),
                           std::istreambuf_iterator<char>());
  std::remove(input_path.c_str());
  std::remove(output_path.c_str());
  if (status != 0) {
    std::fprintf(stderr, "strtold_compare: the probe ended with status %d\n", status);
    return 1;
  }

  std::istringstream lines(output);
  std::string line;
  std::size_t compared = 0;
  std::size_t mismatches = 0;
  for (const std::string& text : inputs) {
    if (!std::getline(lines, line)) break;
    ++compared;
    const std::string expected = expected_line(text);
    if (line != expected) {
      if (++mismatches <= 20) {
        std::printf("MISMATCH on \"%s\"\n  guest: %s\n  model: %s\n", shown(text).c_str(),
                    line.c_str(), expected.c_str());
      }
    }
  }
  const bool extra = static_cast<bool>(std::getline(lines, line));
  std::printf(
      "%zu inputs, %zu compared, %zu agreed bit for bit (strtold value and end, strtod value and "
      "end), %zu differed\n",
      inputs.size(), compared, compared - mismatches, mismatches);
  if (compared != inputs.size() || extra) {
    std::printf("the probe answered %s lines than there were inputs\n", extra ? "more" : "fewer");
    return 1;
  }
  return mismatches == 0 ? 0 : 1;
}
