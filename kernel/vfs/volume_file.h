// A file or directory of the volume open on a descriptor.
#pragma once

#include <vector>

#include "vfs/descriptors.h"
#include "vfs/file_system.h"

namespace vornos::kernel {

class VolumeFile final : public OpenFile {
 public:
  struct Mode {
    bool readable = true;
    bool writable = false;
    bool append = false;  // every write goes to the end of the file as it is then
  };
  VolumeFile(FileSystem& file_system, const NodeInfo& node, Mode mode)
      : file_system_(file_system), hold_(file_system, node.key), key_(node.key), directory_(node.is_directory), mode_(mode) {}

  // A file's reads give its bytes; a directory's give whole directory records, one per entry
  // (-22 for room for less than one), from the listing taken when a read starts at the first
  // record. A descriptor not open for reading or writing answers -9.
  int32_t read(std::span<std::byte> destination) override;
  int32_t write(std::span<const std::byte> source) override;
  // Whence 0, 1, 2 from the start, the position or the end; -22 for a negative result or
  // another whence, -75 for one past what the call's result can say.
  int32_t seek(int32_t offset, uint32_t whence) override;
  int64_t position() const override { return static_cast<int64_t>(position_); }
  void set_position(uint64_t position) override { position_ = position; }

 private:
  FileSystem& file_system_;
  NodeHold hold_;
  NodeKey key_;
  bool directory_;
  Mode mode_;
  uint64_t position_ = 0;
  std::vector<DirectoryRecord> listing_;  // a directory's entries as the last read from the start saw them
  bool listed_ = false;                   // listing_ was taken (a seek may skip the first read)

  int32_t read_directory(std::span<std::byte> destination);
};

}  // namespace vornos::kernel
