// Sizes from fstat for files and from the block layer's ioctls for devices.
#include "disk/device_size.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace vornos::disk {

bool query_device_size(int fd, DeviceSize& size, std::string& error) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = std::strerror(errno);
    return false;
  }
  size = DeviceSize{};
  if (S_ISREG(st.st_mode)) {
    size.bytes = static_cast<uint64_t>(st.st_size);
    return true;
  }
  if (!S_ISBLK(st.st_mode)) {
    error = S_ISDIR(st.st_mode) ? "it is a directory" : "not a regular file or block device";
    return false;
  }
  int sector_size = 0, read_only = 0;
  if (::ioctl(fd, BLKGETSIZE64, &size.bytes) != 0 || ::ioctl(fd, BLKSSZGET, &sector_size) != 0 ||
      ::ioctl(fd, BLKROGET, &read_only) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (sector_size < 512 || (sector_size & (sector_size - 1)) != 0) {
    error = "the device reports a sector size of " + std::to_string(sector_size) + " bytes";
    return false;
  }
  size.sector_size = static_cast<uint32_t>(sector_size);
  size.block_device = true;
  size.read_only_device = read_only != 0;
  return true;
}

}  // namespace vornos::disk
