// Choosing the volume image; opening it lives with the file system that reads it.
#include "runner/volume_attachment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <system_error>

namespace vornos::kernel {

std::string sample_volume_image(const std::string& runner_directory) {
  return (std::filesystem::path(runner_directory) / ".." / "share" / "vornos" / "sample.img").lexically_normal().string();
}

std::optional<std::string> chosen_volume_image(const Options& options, const std::string& runner_directory) {
  if (options.no_volume) return std::nullopt;
  if (options.volume) return options.volume;
  if (runner_directory.empty()) return std::nullopt;
  const std::string sample = sample_volume_image(runner_directory);
  std::error_code ignored;
  if (std::filesystem::is_regular_file(sample, ignored)) return sample;
  return std::nullopt;
}

std::string check_volume_file(const std::string& image) {
  struct stat info;
  if (stat(image.c_str(), &info) != 0) return std::strerror(errno);
  if (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)) return {};
  if (S_ISDIR(info.st_mode)) return "it is a directory";
  return S_ISFIFO(info.st_mode) ? "a FIFO, not a regular file or block device" : "not a regular file or block device";
}

std::string runner_directory() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return self.parent_path().string();
}

}  // namespace vornos::kernel
