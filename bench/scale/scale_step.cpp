// fat32-scale-step: one piece of the file layer's work on a volume, in this process (no runner, no
// guest), with the time it took and the share of it spent making writes durable. The scale bench runs it
// once per measurement and takes the peak memory from the kernel.
//
//   fat32-scale-step write IMAGE PATH BYTES      one whole-file write (as writefile makes it) of BYTES bytes
//   fat32-scale-step creates IMAGE DIR COUNT FROM  COUNT new files DIR/"Photo 2026-12-07 N.jpg", N from FROM
//   fat32-scale-step repair IMAGE                the repair of the whole volume (writes only what needs it)
//
// Prints "seconds S sync_seconds Y calls N peak_rss_kib M" on one line: N the calls made (writes or
// creates, or the repair's result), M the process's peak resident memory (VmHWM: since its exec, unlike
// the kernel's rusage, which keeps the high-water mark of the process that forked it).
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fat32/errors.h"
#include "fat32/mount.h"
#include "fat32/repair.h"
#include "fat32/volume.h"

namespace {

double g_sync_seconds = 0;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long timed_sync(long call, int fd) {
  const auto start = std::chrono::steady_clock::now();
  const long rc = ::syscall(call, fd);
  g_sync_seconds += seconds_since(start);
  return rc;
}

// The peak resident memory of this process since its exec, in KiB; 0 when /proc cannot tell.
long peak_rss_kib() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  long kib = 0;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  }
  std::fclose(status);
  return kib;
}

int usage() {
  std::fputs("usage: fat32-scale-step write IMAGE PATH BYTES | creates IMAGE DIR COUNT FROM | repair IMAGE\n", stderr);
  return 2;
}

}  // namespace

// The volume layer makes its writes durable with these: defined here, they take the place of the C
// library's for this program alone, so that the step can tell how much of its time they took.
extern "C" int fdatasync(int fd) { return static_cast<int>(timed_sync(SYS_fdatasync, fd)); }
extern "C" int fsync(int fd) { return static_cast<int>(timed_sync(SYS_fsync, fd)); }

int main(int argc, char** argv) {
  using namespace vornos::fat32;
  if (argc < 3) return usage();
  const std::string step = argv[1];
  std::string error;
  std::unique_ptr<Volume> volume = Volume::open(argv[2], false, error);
  if (!volume) {
    std::fprintf(stderr, "fat32-scale-step: %s\n", error.c_str());
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  long calls = 0;
  int32_t failed = kOk;
  if (step == "write" && argc == 5) {
    const std::vector<uint8_t> bytes(std::strtoull(argv[4], nullptr, 10), 'x');
    Mount mount(*volume);
    failed = mount.replace(argv[3], bytes);
    if (failed == kOk) failed = mount.detach();
    calls = 1;
  } else if (step == "creates" && argc == 6) {
    const std::string directory = argv[3];
    const long count = std::strtol(argv[4], nullptr, 10), from = std::strtol(argv[5], nullptr, 10);
    const std::vector<uint8_t> content = {'p', 'h', 'o', 't', 'o', '\n'};
    Mount mount(*volume);
    for (long n = from; n < from + count && failed == kOk; ++n, ++calls) {
      char name[64];
      std::snprintf(name, sizeof name, "/Photo 2026-12-07 %05ld.jpg", n);
      failed = mount.replace(directory + name, content);
    }
    if (failed == kOk) failed = mount.detach();
  } else if (step == "repair" && argc == 3) {
    const int32_t repaired = repair_dirents(*volume, "/", {});
    if (repaired < 0) failed = repaired;
    calls = repaired;
  } else {
    return usage();
  }
  const double seconds = seconds_since(start);
  if (failed != kOk) {
    std::fprintf(stderr, "fat32-scale-step %s: error %d after %ld calls: %s\n", step.c_str(), failed, calls,
                 volume->problem().c_str());
    return 1;
  }
  std::printf("seconds %.6f sync_seconds %.6f calls %ld peak_rss_kib %ld\n", seconds, g_sync_seconds, calls,
              peak_rss_kib());
  return 0;
}
