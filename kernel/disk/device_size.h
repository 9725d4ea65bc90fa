// The size of what an open descriptor holds: a regular file's length, or a block device's capacity and
// logical sector size.
#pragma once

#include <cstdint>
#include <string>

namespace vornos::disk {

struct DeviceSize {
  uint64_t bytes = 0;
  uint32_t sector_size = 0;  // the device's logical sector size; 0 for a regular file (not known)
  bool block_device = false;
  // A device the kernel will not write (a write-protected card, a read-only loop device), even through a
  // descriptor opened for writing: such a device opens for writing and then fails every write.
  bool read_only_device = false;
};

// False with `error` set for anything else (a directory, a FIFO, a terminal) or when the kernel refuses.
bool query_device_size(int fd, DeviceSize& size, std::string& error);

}  // namespace vornos::disk
