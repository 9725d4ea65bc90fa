// Fat32FileSystem: call 84 on the attached image, with the repair log.
#include "calls/fat32_file_system.h"

#include "diagnostics.h"
#include "fat32/errors.h"
#include "fat32/repair.h"

namespace vornos::kernel {

std::unique_ptr<Fat32FileSystem> Fat32FileSystem::open(const std::string& image, Settings settings, std::string& error) {
  std::unique_ptr<fat32::Volume> volume = fat32::Volume::open(image, settings.dry_run, error);
  if (!volume) {
    if (error.empty()) error = "cannot use " + image;
    return nullptr;
  }
  return std::make_unique<Fat32FileSystem>(std::move(volume), settings);
}

int32_t Fat32FileSystem::repair_dirents(std::string_view path) {
  fat32::RepairOptions options;
  options.dry_run = settings_.dry_run;
  if (std::FILE* log = settings_.repair_log) {
    // Names on the volume are data: control bytes in them are shown escaped.
    const char* prefix = settings_.dry_run ? "would repair " : "repaired ";
    options.on_repair = [log, prefix](const fat32::RepairRecord& record) {
      print_diagnostic(log, prefix + fat32::format_repair_record(record));
    };
  }
  const int32_t result = fat32::repair_dirents(*volume_, path, options);
  // The program only learns -5; whoever repairs the volume needs to know what is wrong with it.
  if (result == fat32::kIoError && settings_.diagnostics != nullptr && !volume_->problem().empty()) {
    print_diagnostic(settings_.diagnostics, "volume unreadable or inconsistent: " + volume_->problem());
  }
  return result;
}

}  // namespace vornos::kernel
