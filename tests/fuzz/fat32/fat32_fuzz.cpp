// Fuzz target: attaches an image made of the input, looks up paths in each code page (through the volume
// and through the file calls' directory indexes), runs the repair walk, then the repair.
// Whatever the image, nothing may crash or hang, and a repair may write nothing but attribute bytes of
// directory entries and the dirty mark in FAT[1]; run again, it finds nothing left to repair.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fat32/mount.h"
#include "fat32/repair.h"

using namespace vornos::fat32;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = ::memfd_create("fat32-fuzz", 0);
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
  std::string error;
  auto volume = Volume::open("/proc/self/fd/" + std::to_string(fd), false, error);
  if (!volume) return 0;
  const Geometry& g = volume->geometry();
  volume->set_write_hook([&](uint64_t at, std::span<const uint8_t> bytes) {
    std::vector<uint8_t> old(bytes.size());
    if (::pread(fd, old.data(), old.size(), static_cast<off_t>(at)) != static_cast<ssize_t>(old.size())) std::abort();
    const uint64_t data_start = uint64_t{g.first_data_sector} * g.bytes_per_sector;
    for (size_t i = 0; i < bytes.size(); ++i) {
      const uint64_t offset = at + i;
      bool state_byte = false;
      for (uint32_t copy = 0; copy < g.fat_count; ++copy) state_byte |= offset - g.fat_offset(copy) - 4 < 4;
      const bool attribute_byte = offset >= data_start && (offset - data_start) % kDirEntrySize == kAttrOffset;
      if (old[i] != bytes[i] && !state_byte && !attribute_byte) std::abort();
    }
  });
  static constexpr const char* kPaths[] = {"/", "/a", "/A/B/../C/", "/dir/file.txt", "/..//x/.", "/\xC3\xA4/\xCE\xA3.TXT"};
  // Short names are read in each code page; the lookups below and the repair read them in the last.
  for (const CodePage* page : kCodePages) {
    volume->set_code_page(*page);
    for (const char* path : kPaths) {
      LookupResult found;
      volume->lookup(path, found);
    }
  }
  {
    // Lookups only: the run writes nothing, and what the indexes find the volume finds, under the same
    // path (they may refuse more: a directory longer than 2 MiB).
    Mount mount(*volume);
    for (const char* path : kPaths) {
      LookupResult found;
      Node node;
      const int32_t direct = volume->lookup(path, found);
      const int32_t indexed = mount.lookup(path, node);
      if (indexed == 0 && (direct != 0 || found.path != node.path)) std::abort();
    }
  }
  RepairOptions dry_run;
  dry_run.dry_run = true;
  repair_dirents(*volume, "/", dry_run);
  if (repair_dirents(*volume, "/", {}) > 0 && repair_dirents(*volume, "/", {}) != 0) std::abort();
  return 0;
}
