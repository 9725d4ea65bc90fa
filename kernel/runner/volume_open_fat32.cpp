// Attaching a volume in a runner built with the FAT32 layer.
#include <cstdio>

#include "calls/fat32_file_system.h"
#include "runner/volume_attachment.h"

namespace vornos::kernel {

std::unique_ptr<FileSystem> attach_volume(const Options& options, std::string& error) {
  error.clear();
  const std::optional<std::string> image = chosen_volume_image(options, runner_directory());
  if (!image) {
    if (!options.no_volume) {
      std::fprintf(stderr, "vornos-run: no volume attached: the sample volume %s is missing (give --volume IMAGE, or --no-volume)\n",
                   sample_volume_image(runner_directory()).c_str());
    }
    return nullptr;
  }
  if (const std::string reason = check_volume_file(*image); !reason.empty()) {
    error = "cannot attach volume " + *image + ": " + reason;
    return nullptr;
  }
  Fat32FileSystem::Settings settings;
  settings.dry_run = options.dry_run;
  settings.read_only = options.read_only;
  settings.repair_log = options.log_repairs ? stderr : nullptr;
  settings.diagnostics = stderr;
  settings.code_page = fat32::find_code_page(options.code_page);
  if (settings.code_page == nullptr) {
    error = "code page " + std::to_string(options.code_page) + " is not supported";
    return nullptr;
  }
  std::string reason;
  std::unique_ptr<Fat32FileSystem> file_system = Fat32FileSystem::open(*image, settings, reason);
  if (!file_system) {
    error = "cannot attach volume " + *image + ": " + reason;
    return nullptr;
  }
  return file_system;
}

}  // namespace vornos::kernel
