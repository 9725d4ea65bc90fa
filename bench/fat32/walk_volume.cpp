// fat32-walk: runs the repair walk of the volume layer directly (no runner, nothing written) and prints
// the count, the time and the I/O it took: the figures that show each directory cluster is read once.
//
//   fat32-walk [--write] IMAGE [PATH]
// With --write the repairs are made; by default nothing is written.
#include <chrono>
#include <cstdio>
#include <string_view>

#include "fat32/repair.h"
#include "fat32/volume.h"

int main(int argc, char** argv) {
  using namespace vornos::fat32;
  const bool write = argc > 1 && std::string_view(argv[1]) == "--write";
  if (write) --argc, ++argv;
  if (argc < 2) {
    std::fprintf(stderr, "usage: fat32-walk [--write] IMAGE [PATH]\n");
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
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const IoStats& io = volume->io_stats();
  std::printf("result %d, %.3f s, %llu reads, %llu bytes read, %llu writes\n", result, seconds,
              static_cast<unsigned long long>(io.reads), static_cast<unsigned long long>(io.bytes_read),
              static_cast<unsigned long long>(io.writes));
  if (result < 0 && !volume->problem().empty()) std::printf("problem: %s\n", volume->problem().c_str());
  return result < 0 ? 1 : 0;
}
