// Which volume a run gets: --volume, the bundled sample, or none.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "vfs/file_system.h"
#include "runner/options.h"

namespace vornos::kernel {

// The bundled sample volume's place: <runner_directory>/../share/vornos/sample.img, normalised.
std::string sample_volume_image(const std::string& runner_directory);

// The image a run attaches: --volume's, else the bundled sample next to the runner when that
// file exists, else none.
std::optional<std::string> chosen_volume_image(const Options& options, const std::string& runner_directory);

// Why `image` cannot be a volume without even opening it (a FIFO, a directory, a terminal:
// opening some of them blocks or has effects of its own), or an empty string.
std::string check_volume_file(const std::string& image);

// Opens the chosen image (read-only under --dry-run). Returns null with `error` empty when
// no volume is attached, null with `error` set when the image cannot be used.
std::unique_ptr<FileSystem> attach_volume(const Options& options, std::string& error);

// The directory holding the running vornos-run executable.
std::string runner_directory();

}  // namespace vornos::kernel
