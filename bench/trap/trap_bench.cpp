// Measures what the stand-in kernel costs: the price of one trapped call, and the wall
// time of `vornos-run mendir` against a native static i386 program that writes once.
//
// Usage: trap_bench [--calls N] [--runs N]. Prints figures; checks nothing but that every
// program it runs ends with the status it should.
#include <elf.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

const std::string kRunner = VORNOS_BENCH_RUNNER;
const std::string kMendir = VORNOS_BENCH_MENDIR;
const std::string kTrapCalls = VORNOS_BENCH_TRAP_CALLS;
const std::string kNative = VORNOS_BENCH_NATIVE;
const std::string kSample = VORNOS_BENCH_SAMPLE;

struct Outcome {
  int status = -1;
  double seconds = 0;
  std::string err;
};

// Runs argv with standard input and output on /dev/null; keeps standard error when asked.
Outcome run(const std::vector<std::string>& argv, bool keep_stderr = false) {
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  int err_pipe[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (keep_stderr) {
    if (pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  }
  Outcome outcome;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    if (keep_stderr) close(err_pipe[0]), close(err_pipe[1]);
    return outcome;  // status -1: it could not be started
  }
  if (keep_stderr) {
    close(err_pipe[1]);
    char chunk[65536];
    for (ssize_t got; (got = read(err_pipe[0], chunk, sizeof chunk)) > 0;) outcome.err.append(chunk, static_cast<size_t>(got));
    close(err_pipe[0]);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

double timed(const std::vector<std::string>& argv, int expected_status) {
  const Outcome outcome = run(argv);
  if (outcome.status != expected_status) {
    throw std::runtime_error(argv.back() + " ended with status " + std::to_string(outcome.status) +
                             ", not " + std::to_string(expected_status));
  }
  return outcome.seconds;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double median_seconds(const std::vector<std::string>& argv, int expected_status, int runs) {
  std::vector<double> times;
  timed(argv, expected_status);  // warm the page cache
  for (int i = 0; i < runs; ++i) times.push_back(timed(argv, expected_status));
  return median(times);
}

// The runner's command line on `platform`, followed by `rest`.
std::vector<std::string> on(const std::string& platform, std::vector<std::string> rest) {
  rest.insert(rest.begin(), {kRunner, "--platform", platform});
  return rest;
}

// Seconds per call: a run with `calls` calls less a run with none, per call.
double per_call_seconds(const std::string& platform, const char* kind, unsigned calls, int runs) {
  std::vector<double> costs;
  for (int i = 0; i < runs; ++i) {
    const double empty = timed(on(platform, {kTrapCalls, kind, "0"}), 0);
    const double full = timed(on(platform, {kTrapCalls, kind, std::to_string(calls)}), 0);
    costs.push_back((full - empty) / calls);
  }
  return median(costs);
}

void print_image_size(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(file)), {});
  Elf32_Ehdr header;
  std::memcpy(&header, image.data(), sizeof header);
  std::printf("  file: %zu bytes\n", image.size());
  for (unsigned index = 0; index < header.e_phnum; ++index) {
    Elf32_Phdr segment;
    std::memcpy(&segment, image.data() + header.e_phoff + index * sizeof segment, sizeof segment);
    if (segment.p_type != PT_LOAD) continue;
    std::printf("  segment %c%c%c at %#x: %u bytes in the file, %u in memory\n", segment.p_flags & PF_R ? 'R' : '-',
                segment.p_flags & PF_W ? 'W' : '-', segment.p_flags & PF_X ? 'X' : '-', segment.p_vaddr,
                segment.p_filesz, segment.p_memsz);
  }
}

// Counts the calls of a traced run by name ("write" -> 28).
void print_call_counts(const std::vector<std::string>& argv, const char* what) {
  const Outcome outcome = run(argv, /*keep_stderr=*/true);
  std::map<std::string, int> counts;
  int total = 0;
  size_t at = 0;
  while (at < outcome.err.size()) {
    const size_t end = outcome.err.find('\n', at);
    const std::string line = outcome.err.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? outcome.err.size() : end + 1;
    const size_t paren = line.find('(');
    if (paren == std::string::npos || line.starts_with("vornos-run:")) continue;
    ++counts[line.substr(0, paren)];
    ++total;
  }
  std::printf("  %s: %d kernel calls (", what, total);
  const char* separator = "";
  for (const auto& [name, count] : counts) {
    std::printf("%s%d %s", separator, count, name.c_str());
    separator = ", ";
  }
  std::printf(")\n");
}

// Copies `path` to a new temporary file and returns its name ("" when there is nothing to copy).
std::string copy_to_temporary(const std::string& path) {
  std::ifstream source(path, std::ios::binary);
  if (!source) return {};
  char name[] = "/tmp/trap_bench_volume.XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  std::ofstream(name, std::ios::binary) << source.rdbuf();
  return name;
}

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned calls = 100000;
  int runs = 5;
  for (int index = 1; index + 1 < argc; index += 2) {
    if (std::strcmp(argv[index], "--calls") == 0) calls = static_cast<unsigned>(std::stoul(argv[index + 1]));
    if (std::strcmp(argv[index], "--runs") == 0) runs = std::stoi(argv[index + 1]);
  }
  try {
    std::printf("mendir (%s):\n", kMendir.c_str());
    print_image_size(kMendir);
    print_call_counts({kRunner, "--trace", "--no-volume", kMendir}, "report line without a volume");
    // The sample volume as the README's first command uses it, but on a copy, so that the
    // benchmark neither repairs the user's sample nor depends on whether it was repaired.
    const bool have_sample = exists(kSample);
    const std::string sample_copy = copy_to_temporary(kSample);
    if (have_sample) print_call_counts({kRunner, "--trace", "--volume", sample_copy, kMendir}, "report line on the sample volume");

    const int wall_runs = 4 * runs + 1;
    // The yardstick runs only where Linux executes 32-bit programs itself.
    double native = 0;
    if (run({kNative}).status == 0) {
      native = median_seconds({kNative}, 0, wall_runs);
      std::printf("native static i386 program, one write and exit, median of %d runs: %7.3f ms\n", wall_runs, native * 1e3);
    } else {
      std::printf("native static i386 program: this Linux does not execute 32-bit programs\n");
    }
    for (const std::string platform : {"ptrace", "emulated"}) {
      if (run(on(platform, {kTrapCalls, "empty", "0"}), /*keep_stderr=*/true).status != 0) {
        std::printf("platform %s: not available here\n", platform.c_str());
        continue;
      }
      std::printf("platform %s:\n", platform.c_str());
      std::printf("  trap cost, median of %d runs of %u calls (one CPU for runner and program):\n", runs, calls);
      std::printf("    write of 0 bytes (the trap alone):      %6.2f us per call\n",
                  per_call_seconds(platform, "empty", calls, runs) * 1e6);
      std::printf("    write of 1 byte to /dev/null:           %6.2f us per call\n",
                  per_call_seconds(platform, "byte", calls, runs) * 1e6);
      std::printf("  wall time, median of %d runs:\n", wall_runs);
      const auto against_native = [native](double seconds) {
        if (native > 0) std::printf(" (runner overhead %.3f ms, x%.1f)", (seconds - native) * 1e3, seconds / native);
        std::printf("\n");
      };
      const double bare = median_seconds(on(platform, {"--no-volume", kMendir}), 1, wall_runs);
      std::printf("    vornos-run --no-volume mendir:                   %7.3f ms", bare * 1e3);
      against_native(bare);
      if (have_sample) {
        const double sample = median_seconds(on(platform, {"--volume", sample_copy, kMendir}), 0, wall_runs);
        std::printf("    vornos-run mendir (a copy of the sample volume): %7.3f ms", sample * 1e3);
        against_native(sample);
      }
    }
    if (have_sample) unlink(sample_copy.c_str());
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "trap_bench: %s\n", failure.what());
    return 1;
  }
  return 0;
}
