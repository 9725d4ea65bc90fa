// The program's file system on a FAT32 image, through the kernel's FAT32 layer.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "calls/file_system.h"
#include "fat32/volume.h"

namespace vornos::kernel {

class Fat32FileSystem final : public FileSystem {
 public:
  struct Settings {
    bool dry_run = false;                // compute and log repairs, write nothing
    std::FILE* repair_log = nullptr;     // one line per repaired entry, when set
    std::FILE* diagnostics = nullptr;    // why a repair found the volume unusable, when set
  };

  Fat32FileSystem(std::unique_ptr<fat32::Volume> volume, Settings settings)
      : volume_(std::move(volume)), settings_(settings) {}

  // Opens `image` (read-only for a dry run). Null with `error` set when it cannot be used.
  static std::unique_ptr<Fat32FileSystem> open(const std::string& image, Settings settings, std::string& error);

  int32_t repair_dirents(std::string_view path) override;

 private:
  std::unique_ptr<fat32::Volume> volume_;
  Settings settings_;
};

}  // namespace vornos::kernel
