// Attaching a volume in a runner built with the FAT32 layer.
#include <cstdio>

#include "fat32_fs/fat32_file_system.h"
#include "base/diagnostics.h"
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
  // The installed sample is shared by every run that names no volume: such runs see their own writes, and
  // none of them changes it.
  const bool sample = !options.volume;
  settings.snapshot = options.snapshot || sample;
  if (sample && !options.snapshot) {
    settings.snapshot_notice = "the sample volume " + *image +
                               " is attached as a snapshot: this run's changes to it are dropped at the end "
                               "(name it with --volume to keep them)";
  }
  settings.partition = options.partition;
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
  const fat32::VolumePlace& place = file_system->volume().place();
  if (!place.note.empty()) print_diagnostic(stderr, *image + ": " + place.note);
  if (place.partition && (options.trace || options.log_repairs)) {
    print_diagnostic(stderr, "volume: " + fat32::describe_place(place) + ", in " + *image);
  }
  return file_system;
}

}  // namespace vornos::kernel
