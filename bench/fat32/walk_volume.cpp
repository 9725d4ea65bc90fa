// fat32-walk: runs the repair walk of the volume layer directly (no runner, nothing written) and prints
// the count, the time and the I/O it took: the figures that show each directory cluster is read once.
//
//   fat32-walk [--write] IMAGE [PATH]
// With --write the repairs are made; by default nothing is written.
//
//   fat32-walk --replay [--announce] READS IMAGE
// Makes the reads listed in READS (lines "OFFSET LENGTH", e.g. the walk's own, recorded) into one
// buffer and prints the time they took: the floor under the walk that reads the same. With --announce
// read-ahead is turned off and every read is announced (POSIX_FADV_WILLNEED, in disk order) before the first
// is made: from a cold page cache, the floor of a walk that knew all its clusters from the start.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "fat32/repair.h"
#include "fat32/volume.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int replay(const char* list_path, const char* image, bool announce) {
  std::vector<std::pair<unsigned long long, unsigned long long>> reads;
  FILE* list = std::fopen(list_path, "r");
  if (list == nullptr) {
    std::perror(list_path);
    return 1;
  }
  unsigned long long offset = 0, length = 0, largest = 0;
  while (std::fscanf(list, "%llu %llu", &offset, &length) == 2) {
    reads.emplace_back(offset, length);
    if (length > largest) largest = length;
  }
  std::fclose(list);
  std::vector<char> buffer(largest);
  const auto start = std::chrono::steady_clock::now();
  const int fd = ::open(image, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(image);
    return 1;
  }
  if (announce) {
    // In the order of the disk, touching ranges joined: the requests the storage serves best.
    auto ranges = reads;
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<unsigned long long, unsigned long long>> joined;
    for (const auto& [at, bytes] : ranges) {
      if (!joined.empty() && at <= joined.back().first + joined.back().second) {
        joined.back().second = std::max(joined.back().second, at + bytes - joined.back().first);
      } else {
        joined.emplace_back(at, bytes);
      }
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    for (const auto& [at, bytes] : joined) ::posix_fadvise(fd, static_cast<off_t>(at), static_cast<off_t>(bytes), POSIX_FADV_WILLNEED);
  }
  for (const auto& [at, bytes] : reads) {
    if (::pread(fd, buffer.data(), bytes, static_cast<off_t>(at)) != static_cast<ssize_t>(bytes)) {
      std::fprintf(stderr, "fat32-walk: short read of %llu bytes at %llu\n", bytes, at);
      return 1;
    }
  }
  ::close(fd);
  std::printf("replayed %zu reads, %.6f s\n", reads.size(), seconds_since(start));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vornos::fat32;
  if (argc == 4 && std::string_view(argv[1]) == "--replay") return replay(argv[2], argv[3], false);
  if (argc == 5 && std::string_view(argv[1]) == "--replay" && std::string_view(argv[2]) == "--announce") {
    return replay(argv[3], argv[4], true);
  }
  const bool write = argc > 1 && std::string_view(argv[1]) == "--write";
  if (write) --argc, ++argv;
  if (argc < 2) {
    std::fprintf(stderr, "usage: fat32-walk [--write] IMAGE [PATH] | fat32-walk --replay [--announce] READS IMAGE\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  auto volume = Volume::open(argv[1], !write, error);
  if (!volume) {
    std::fprintf(stderr, "fat32-walk: %s\n", error.c_str());
    return 1;
  }
  RepairOptions options;
  options.dry_run = !write;
  const int32_t result = repair_dirents(*volume, argc > 2 ? argv[2] : "/", options);
  const double seconds = seconds_since(start);
  const IoStats& io = volume->io_stats();
  std::printf("result %d, %.6f s, %llu reads (%llu from the first that missed the page cache), %llu bytes read, "
              "%llu writes\n", result, seconds, static_cast<unsigned long long>(io.reads),
              static_cast<unsigned long long>(io.uncached_reads), static_cast<unsigned long long>(io.bytes_read),
              static_cast<unsigned long long>(io.writes));
  if (result < 0 && !volume->problem().empty()) std::printf("problem: %s\n", volume->problem().c_str());
  return result < 0 ? 1 : 0;
}
