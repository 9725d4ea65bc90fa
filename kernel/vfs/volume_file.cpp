// Reads, writes and seeks of a volume file at its description's position.
#include "vfs/volume_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/error_codes.h"

namespace vornos::kernel {

int32_t VolumeFile::read(std::span<std::byte> destination) {
  if (!mode_.readable) return kBadDescriptor;
  if (directory_) return read_directory(destination);
  const int32_t got = file_system_.read(key_, position_, destination);
  if (got > 0) position_ += static_cast<uint64_t>(got);
  return got;
}

// The position counts bytes of the records read so far; one left inside a record (a program's
// buffer that ended early) reads that record again whole.
int32_t VolumeFile::read_directory(std::span<std::byte> destination) {
  const size_t fits = destination.size() / kDirectoryRecordSize;
  if (fits == 0) return kInvalidArgument;
  const uint64_t first = position_ / kDirectoryRecordSize;
  if (first == 0 || !listed_) {
    if (const int32_t status = file_system_.list_directory(key_, listing_); status < 0) return status;
    listed_ = true;
  }
  if (first >= listing_.size()) return 0;
  const size_t count = std::min<uint64_t>(fits, listing_.size() - first);
  std::memcpy(destination.data(), &listing_[first], count * kDirectoryRecordSize);
  position_ = (first + count) * kDirectoryRecordSize;
  return static_cast<int32_t>(count * kDirectoryRecordSize);
}

int32_t VolumeFile::write(std::span<const std::byte> source) {
  if (!mode_.writable) return kBadDescriptor;
  if (mode_.append) {
    uint32_t size = 0;
    if (const int32_t status = file_system_.size_of(key_, size); status < 0) return status;
    position_ = size;
  }
  const int32_t put = file_system_.write(key_, position_, source);
  if (put > 0) position_ += static_cast<uint64_t>(put);
  return put;
}

int32_t VolumeFile::seek(int32_t offset, uint32_t whence) {
  int64_t base = 0;
  switch (whence) {
    case 0: break;
    case 1: base = static_cast<int64_t>(position_); break;
    case 2: {
      uint32_t size = 0;
      if (const int32_t status = file_system_.size_of(key_, size); status < 0) return status;
      base = size;
      break;
    }
    default: return kInvalidArgument;
  }
  const int64_t target = base + offset;
  if (target < 0) return kInvalidArgument;
  if (target > INT32_MAX) return kOverflow;
  position_ = static_cast<uint64_t>(target);
  return static_cast<int32_t>(target);
}

}  // namespace vornos::kernel
