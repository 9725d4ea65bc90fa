// The program's file system on a FAT32 image, through the kernel's FAT32 layer.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "vfs/file_system.h"
#include "fat32/mount.h"
#include "fat32/volume.h"

namespace vornos::kernel {

class Fat32FileSystem final : public FileSystem {
 public:
  struct Settings {
    bool dry_run = false;                // compute and log repairs, write nothing
    bool read_only = false;              // never open the image for writing: every write answers -30
    std::FILE* repair_log = nullptr;     // one line per repaired entry, when set
    std::FILE* diagnostics = nullptr;    // why a call found the volume unusable, when set
    bool snapshot = false;               // writes go to a private layer; the image stays as it is
    std::optional<uint32_t> partition;   // the partition to attach (see fat32::VolumeOpenOptions)
    // Printed once on the diagnostics stream when the program first writes to a snapshot, when set.
    std::string snapshot_notice;
    const fat32::CodePage* code_page = &fat32::kDefaultCodePage;  // of the volume's short names
  };

  Fat32FileSystem(std::unique_ptr<fat32::Volume> volume, Settings settings)
      : volume_(std::move(volume)), mount_(std::make_unique<fat32::Mount>(*volume_)), settings_(settings) {}

  // Opens `image` (read-only for a dry run or a read-only attachment), or its partition. Null
  // with `error` set when it cannot be used.
  static std::unique_ptr<Fat32FileSystem> open(const std::string& image, Settings settings, std::string& error);

  int32_t repair_dirents(std::string_view path) override;
  int32_t lookup(std::string_view path, NodeInfo& node) override;
  std::string name_key(std::string_view name) const override;
  int32_t open(std::string_view path, const OpenRequest& request, NodeInfo& node) override;
  int32_t size_of(const NodeKey& key, uint32_t& size) override;
  int32_t read(const NodeKey& key, uint64_t offset, std::span<std::byte> destination) override;
  int32_t list_directory(const NodeKey& key, std::vector<DirectoryRecord>& records) override;
  int32_t write(const NodeKey& key, uint64_t offset, std::span<const std::byte> source) override;
  int32_t make_directory(std::string_view path) override;
  int32_t remove_directory(std::string_view path) override;
  int32_t remove_file(std::string_view path) override;
  int32_t begin_replace(std::string_view path) override;
  int32_t append(int32_t handle, std::span<const std::byte> source) override;
  int32_t commit(int32_t handle) override;
  int32_t abandon(int32_t handle) override;
  int32_t detach() override;

  const fat32::Volume& volume() const { return *volume_; }

 private:
  // Passes `result` on; when it is -5, says on the diagnostics stream what is wrong with
  // the volume (each problem once), since the program only learns the number.
  int32_t reported(int32_t result);

  std::unique_ptr<fat32::Volume> volume_;
  std::unique_ptr<fat32::Mount> mount_;
  Settings settings_;
  std::string reported_problem_;
};

}  // namespace vornos::kernel
