// The file system behind the program's path calls, as the call table sees it.
#pragma once

#include <cstdint>
#include <string_view>

namespace vornos::kernel {

// An attached volume. Results are kernel results (a count, or a negative error code).
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Repairs the flags of the directory entries below the absolute `path`.
  virtual int32_t repair_dirents(std::string_view path) = 0;
};

}  // namespace vornos::kernel
