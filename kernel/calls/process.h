// What a process holds of the kernel: descriptors, working directory, unfinished streamed writes.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "vfs/descriptors.h"
#include "vfs/file_system.h"

namespace vornos::kernel {

class Process {
 public:
  Process(Device& input, Device& output, Device* error = nullptr) : descriptors(input, output, error) {}
  // A started program: no descriptor open yet.
  Process() = default;

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
};

}  // namespace vornos::kernel
