// What a process holds of the kernel: descriptors, working directory, unfinished streamed writes.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>

#include "vfs/descriptors.h"
#include "vfs/file_system.h"

namespace vornos::kernel {

class ProcessFiles {
 public:
  ProcessFiles(Device& input, Device& output, Device* error = nullptr) : descriptors(input, output, error) {}
  // A started program: no descriptor open yet.
  ProcessFiles() = default;

  // The end of the process: its descriptors close and its unfinished streamed writes are
  // abandoned, so the volume keeps what it had before them.
  void end(FileSystem* file_system) {
    descriptors.close_all();
    if (file_system != nullptr) {
      for (int32_t handle : streams) file_system->abandon(handle);
    }
    streams.clear();
    working_directory_hold.reset();
  }

  DescriptorTable descriptors;
  std::string working_directory = "/";  // absolute, every name as stored
  NodeHold working_directory_hold;
  std::set<int32_t> streams;  // the file system's handles of the streamed writes begun here
  // The descriptors its children get as their 0-2 (fd_set_stdio), and whether they get
  // every other open descriptor too (fd_set_inherit).
  std::array<int32_t, 3> child_stdio{0, 1, 2};
  bool children_inherit = false;
};

}  // namespace vornos::kernel
