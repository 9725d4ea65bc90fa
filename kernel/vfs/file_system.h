// The file system behind the program's path calls, as the call table sees it.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vornos/abi/directory_record.h"

namespace vornos::kernel {

// What a read of a directory descriptor answers, one per entry (layout shared with the library).
using DirectoryRecord = vornos_directory_record;
inline constexpr uint32_t kDirectoryRecordSize = sizeof(DirectoryRecord);

// Where a file or directory lives on the volume; stable for as long as its entry exists.
struct NodeKey {
  uint32_t directory = 0;
  uint32_t index = 0;
  auto operator<=>(const NodeKey&) const = default;
};

// What a path names.
struct NodeInfo {
  NodeKey key;
  bool is_directory = false;
  uint32_t size = 0;
  std::string path;  // absolute, every name as stored on the volume
};

// How open treats the file a path names.
struct OpenRequest {
  bool write = false;      // to be written: -21 for a directory, -13 for a read-only file
  bool create = false;     // make an empty file when the name does not exist
  bool exclusive = false;  // with create: -17 when the name exists
  bool truncate = false;   // with write: cut an existing file to 0 bytes
};

// An attached volume. Paths are absolute; results are kernel results (0 or a count, or a
// negative error code). A file system that serves only the repair answers -38 to the rest.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Repairs the flags of the directory entries below `path`.
  virtual int32_t repair_dirents(std::string_view path) = 0;

  virtual int32_t lookup(std::string_view path, NodeInfo& node);
  // `name` (one component) as this file system compares names: two spellings of one name have
  // the same key. Here ASCII letters are folded; a volume folds as its names compare.
  virtual std::string name_key(std::string_view name) const;
  virtual int32_t open(std::string_view path, const OpenRequest& request, NodeInfo& node);
  // The current size of a file, for lseek from the end and for appending.
  virtual int32_t size_of(const NodeKey& key, uint32_t& size);
  // Reads at `offset`: the count, 0 at or past the end.
  virtual int32_t read(const NodeKey& key, uint64_t offset, std::span<std::byte> destination);
  // The records of the directory `key` names, in directory order: -20 for a file.
  virtual int32_t list_directory(const NodeKey& key, std::vector<DirectoryRecord>& records);
  // Writes all of `source` at `offset` (a gap before it reads as zeros), or nothing.
  virtual int32_t write(const NodeKey& key, uint64_t offset, std::span<const std::byte> source);
  virtual int32_t make_directory(std::string_view path);
  virtual int32_t remove_directory(std::string_view path);
  virtual int32_t remove_file(std::string_view path);
  // Creating or replacing a whole file, in steps: a handle (>= 1), pieces appended, then
  // committed or abandoned. Until the commit the old file is intact; on failure it stays so.
  virtual int32_t begin_replace(std::string_view path);
  virtual int32_t append(int32_t handle, std::span<const std::byte> source);
  virtual int32_t commit(int32_t handle);
  virtual int32_t abandon(int32_t handle);
  // Ends the run on the volume (marks it clean when the run left it consistent).
  virtual int32_t detach() { return 0; }

  // Nodes in use, by an open descriptor or as a working directory of any process; such a
  // node may not be removed (-16), since its entry could be reused by another file.
  void hold(const NodeKey& key) { ++holds_[key]; }
  void release(const NodeKey& key);
  bool held(const NodeKey& key) const { return holds_.contains(key); }

 private:
  std::map<NodeKey, int> holds_;
};

// A hold on a node for as long as this lives.
class NodeHold {
 public:
  NodeHold() = default;
  NodeHold(FileSystem& file_system, const NodeKey& key) : file_system_(&file_system), key_(key) {
    file_system.hold(key);
  }
  NodeHold(NodeHold&& other) noexcept : file_system_(other.file_system_), key_(other.key_) {
    other.file_system_ = nullptr;
  }
  NodeHold& operator=(NodeHold&& other) noexcept {
    if (this != &other) {
      reset();
      file_system_ = other.file_system_;
      key_ = other.key_;
      other.file_system_ = nullptr;
    }
    return *this;
  }
  ~NodeHold() { reset(); }
  void reset() {
    if (file_system_ != nullptr) file_system_->release(key_);
    file_system_ = nullptr;
  }

 private:
  FileSystem* file_system_ = nullptr;
  NodeKey key_;
};

}  // namespace vornos::kernel
