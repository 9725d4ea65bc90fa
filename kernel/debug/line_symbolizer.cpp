// Source lines for code addresses, from the program's debug information, through LLVM's symbolizer.
#include "debug/line_symbolizer.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstdio>

extern char** environ;

namespace vornos::debug {
namespace {

bool executable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

std::optional<std::string> on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  std::string_view rest = path;
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string dir(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (executable(candidate)) return candidate;
  }
  return std::nullopt;
}

// "file:line:column" (the file may hold colons itself); "??:0:0" and the like give no file.
SourceFrame parse_frame(std::string_view function, std::string_view location) {
  SourceFrame frame;
  if (function != "??") frame.function = function;
  const size_t column_colon = location.rfind(':');
  if (column_colon == std::string_view::npos || column_colon == 0) return frame;
  const size_t line_colon = location.rfind(':', column_colon - 1);
  if (line_colon == std::string_view::npos) return frame;
  const std::string_view file = location.substr(0, line_colon);
  const std::string_view line = location.substr(line_colon + 1, column_colon - line_colon - 1);
  uint32_t number = 0;
  if (file == "??" || std::from_chars(line.data(), line.data() + line.size(), number).ec != std::errc() ||
      number == 0) {
    return frame;
  }
  frame.file = file;
  frame.line = number;
  return frame;
}

}  // namespace

std::optional<std::string> find_symbolizer() {
  if (const char* chosen = std::getenv("VORNOS_SYMBOLIZER"); chosen != nullptr && *chosen != '\0') {
    if (executable(chosen)) return std::string(chosen);
    return std::nullopt;
  }
#ifdef VORNOS_BUILD_SYMBOLIZER
  if (executable(VORNOS_BUILD_SYMBOLIZER)) return std::string(VORNOS_BUILD_SYMBOLIZER);
#endif
  for (const char* name : {"llvm-symbolizer", "llvm-symbolizer-19", "llvm-symbolizer-18", "llvm-symbolizer-17",
                           "llvm-symbolizer-16", "llvm-symbolizer-15", "llvm-symbolizer-14"}) {
    if (auto found = on_path(name)) return found;
  }
  return std::nullopt;
}

std::optional<std::vector<std::vector<SourceFrame>>> parse_symbolizer_output(std::string_view output,
                                                                             size_t address_count) {
  std::vector<std::vector<SourceFrame>> blocks;
  std::vector<std::string_view> lines;
  while (!output.empty()) {
    const size_t newline = output.find('\n');
    const std::string_view line = output.substr(0, newline);
    output = newline == std::string_view::npos ? std::string_view() : output.substr(newline + 1);
    if (!line.empty()) {
      lines.push_back(line);
      continue;
    }
    if (lines.size() % 2 != 0) return std::nullopt;
    std::vector<SourceFrame> frames;
    for (size_t i = 0; i < lines.size(); i += 2) frames.push_back(parse_frame(lines[i], lines[i + 1]));
    blocks.push_back(std::move(frames));
    lines.clear();
  }
  if (!lines.empty() || blocks.size() != address_count) return std::nullopt;
  // A block of "??" alone says nothing: no frames.
  for (auto& frames : blocks) {
    if (frames.size() == 1 && frames[0] == SourceFrame{}) frames.clear();
  }
  return blocks;
}

std::optional<std::vector<std::vector<SourceFrame>>> symbolize(const std::string& tool, const std::string& program,
                                                               std::span<const uint32_t> addresses) {
  // Files are named as the compiler was given them (relative to where it ran, when it was given
  // them so), not joined with the directory it ran in.
  std::vector<std::string> arguments = {tool, "--obj=" + program, "--inlines", "--functions=linkage", "--demangle", "--relativenames",
                                        "--output-style=LLVM"};
  for (uint32_t address : addresses) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", address);
    arguments.emplace_back(text);
  }
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int pipe_ends[2];
  if (::pipe2(pipe_ends, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, tool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_ends[1]);
  std::string output;
  if (spawned == 0) {
    char buffer[4096];
    for (;;) {
      const ssize_t count = ::read(pipe_ends[0], buffer, sizeof buffer);
      if (count > 0) {
        output.append(buffer, static_cast<size_t>(count));
      } else if (count == 0 || errno != EINTR) {
        break;
      }
    }
  }
  ::close(pipe_ends[0]);
  if (spawned != 0) return std::nullopt;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return parse_symbolizer_output(output, addresses.size());
}

}  // namespace vornos::debug
