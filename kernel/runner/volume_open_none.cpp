// Attaching a volume in a runner built without the FAT32 layer: only "no volume" works.
#include "runner/volume_attachment.h"

namespace vornos::kernel {

std::unique_ptr<FileSystem> attach_volume(const Options& options, std::string& error) {
  error.clear();
  if (options.volume) error = "cannot attach volume " + *options.volume + ": this runner was built without FAT32 support";
  return nullptr;
}

}  // namespace vornos::kernel
