// Calls on the volume's files: open, close, lseek, writefile, the streamed write, mkdir,
// rmdir, unlink, chdir, getcwd.
#include <algorithm>
#include <memory>
#include <string>

#include "calls/call_table.h"
#include "base/error_codes.h"
#include "calls/guest_transfer.h"
#include "base/abi.h"
#include "calls/volume_file.h"

namespace vornos::kernel {
namespace {

// Open's other flag bits are ignored, as Linux ignores flags it does not know.
using namespace open_flag;

// Appends `count` bytes of the program's buffer to the replacement `handle` piece by piece,
// so the kernel never holds much of it at once, however large the count. Answers the bytes
// appended; `failure` is the code that stopped it early (-14 at an unreadable byte), or 0.
uint32_t append_from_guest(FileSystem& file_system, GuestMemory& memory, int32_t handle, uint32_t buffer,
                           uint32_t count, int32_t& failure) {
  failure = 0;
  const int32_t taken = write_from_guest(memory, buffer, count, [&](std::span<const std::byte> bytes) {
    const int32_t status = file_system.append(handle, bytes);
    if (status < 0) failure = status;
    return status < 0 ? status : static_cast<int32_t>(bytes.size());
  });
  if (taken < 0) {
    if (failure == 0) failure = taken;
    return 0;
  }
  if (static_cast<uint32_t>(taken) < count && failure == 0) failure = kBadAddress;
  return static_cast<uint32_t>(taken);
}

}  // namespace

int32_t CallTable::path_argument(GuestMemory& memory, uint32_t address, std::string& path) {
  if (file_system_ == nullptr) return kNotImplemented;
  std::string given;
  if (const int32_t status = memory.read_string(address, kPathLimit, given); status != 0) return status;
  if (given.empty()) return kNoSuchFile;
  if (given.front() == '/') {
    path = std::move(given);
  } else {
    path = process_.working_directory;
    if (path.back() != '/') path += '/';
    path += given;
  }
  return 0;
}

int32_t CallTable::open(GuestMemory& memory, uint32_t path_address, uint32_t flags) {
  std::string path;
  if (const int32_t status = path_argument(memory, path_address, path); status != 0) return status;
  const uint32_t access = flags & kAccessMask;
  if (access == kAccessMask) return kInvalidArgument;
  VolumeFile::Mode mode;
  mode.readable = access != 1;
  mode.writable = access != 0;
  mode.append = (flags & kAppend) != 0;
  OpenRequest request;
  request.write = mode.writable;
  request.create = (flags & kCreate) != 0;
  request.exclusive = request.create && (flags & kExclusive) != 0;
  // Cutting a file opened only for reading would lose data nobody asked to replace.
  request.truncate = mode.writable && (flags & kTruncate) != 0;
  // Checked first, so that an open that cannot get a descriptor creates and cuts nothing.
  if (process_.descriptors.full()) return kTooManyOpenFiles;
  NodeInfo node;
  if (const int32_t status = file_system_->open(path, request, node); status < 0) return status;
  return process_.descriptors.add(std::make_shared<VolumeFile>(*file_system_, node, mode));
}

int32_t CallTable::close(int32_t fd) { return process_.descriptors.close(fd); }

int32_t CallTable::lseek(int32_t fd, int32_t offset, uint32_t whence) {
  OpenFile* file = process_.descriptors.find(fd);
  if (file == nullptr) return kBadDescriptor;
  return file->seek(offset, whence);
}

int32_t CallTable::writefile(GuestMemory& memory, uint32_t path_address, uint32_t buffer, uint32_t count) {
  std::string path;
  if (const int32_t status = path_argument(memory, path_address, path); status != 0) return status;
  // The replacement in steps, so that the program's buffer need not be copied whole first.
  const int32_t handle = file_system_->begin_replace(path);
  if (handle < 0) return handle;
  int32_t failure = 0;
  append_from_guest(*file_system_, memory, handle, buffer, std::min(count, kLargestCount), failure);
  if (failure != 0) {
    file_system_->abandon(handle);
    return failure;
  }
  return file_system_->commit(handle);
}

int32_t CallTable::stream_begin(GuestMemory& memory, uint32_t path_address) {
  std::string path;
  if (const int32_t status = path_argument(memory, path_address, path); status != 0) return status;
  const int32_t handle = file_system_->begin_replace(path);
  if (handle >= 0) process_.streams.insert(handle);
  return handle;
}

int32_t CallTable::stream_write(GuestMemory& memory, int32_t handle, uint32_t buffer, uint32_t count) {
  if (!process_.streams.contains(handle)) return kBadDescriptor;
  // Like write: the bytes taken before an unreadable one or a failure count; the failure is
  // the answer only when none were.
  int32_t failure = 0;
  const uint32_t appended = append_from_guest(*file_system_, memory, handle, buffer, std::min(count, kLargestCount), failure);
  return appended > 0 || failure == 0 ? static_cast<int32_t>(appended) : failure;
}

int32_t CallTable::stream_end(int32_t handle) {
  if (process_.streams.erase(handle) == 0) return kBadDescriptor;
  return file_system_->commit(handle);
}

int32_t CallTable::mkdir(GuestMemory& memory, uint32_t path_address) {
  std::string path;
  if (const int32_t status = path_argument(memory, path_address, path); status != 0) return status;
  return file_system_->make_directory(path);
}

int32_t CallTable::rmdir(GuestMemory& memory, uint32_t path_address) {
  std::string path;
  if (const int32_t status = path_argument(memory, path_address, path); status != 0) return status;
  NodeInfo node;
  if (file_system_->lookup(path, node) == 0 && node.is_directory && file_system_->held(node.key)) return kBusy;
  return file_system_->remove_directory(path);
}

int32_t CallTable::unlink(GuestMemory& memory, uint32_t path_address) {
  std::string path;
  if (const int32_t status = path_argument(memory, path_address, path); status != 0) return status;
  NodeInfo node;
  if (file_system_->lookup(path, node) == 0 && !node.is_directory && file_system_->held(node.key)) return kBusy;
  return file_system_->remove_file(path);
}

int32_t CallTable::chdir(GuestMemory& memory, uint32_t path_address) {
  std::string path;
  if (const int32_t status = path_argument(memory, path_address, path); status != 0) return status;
  NodeInfo node;
  if (const int32_t status = file_system_->lookup(path, node); status < 0) return status;
  if (!node.is_directory) return kNotDirectory;
  process_.working_directory_hold = NodeHold(*file_system_, node.key);
  process_.working_directory = node.path;
  return 0;
}

int32_t CallTable::getcwd(GuestMemory& memory, uint32_t buffer, uint32_t size) {
  const std::string& path = process_.working_directory;
  if (path.size() + 1 > size) return kOutOfRange;
  const auto bytes = std::as_bytes(std::span(path.c_str(), path.size() + 1));
  if (memory.write(buffer, bytes) != 0) return kBadAddress;
  return static_cast<int32_t>(bytes.size());
}

}  // namespace vornos::kernel
