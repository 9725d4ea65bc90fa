// POSIX implementation of the image file.
#include "fat32/image_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "disk/device_size.h"

namespace vornos::fat32 {

ImageFile::~ImageFile() {
  if (fd_ >= 0) ::close(fd_);
}

// Where the file system cannot lock (ENOLCK, say) the repair goes on unlocked, as it would
// on a system without advisory locks: the lock only orders runs that cooperate.
ImageFile::Lock::Lock(const ImageFile& file, bool exclusive, const WaitNotice& on_wait) : fd_(file.fd_) {
  if (fd_ < 0) return;
  if (file.snapshot()) exclusive = false;  // the file itself is only read
  const int mode = exclusive ? LOCK_EX : LOCK_SH;
  int rc;
  do {
    rc = ::flock(fd_, mode | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) return;
  if (errno == EWOULDBLOCK && on_wait) {
    // A shared lock that can be had at once means that the holders only read. (Taking it is harmless:
    // the lock asked for replaces it below.)
    const bool writer_holds = ::flock(fd_, LOCK_SH | LOCK_NB) != 0;
    on_wait(writer_holds ? "writing to it" : "reading it");
  }
  while (::flock(fd_, mode) != 0) {
    if (errno != EINTR) {
      fd_ = -1;
      return;
    }
  }
}

ImageFile::Lock::~Lock() {
  if (fd_ >= 0) ::flock(fd_, LOCK_UN);
}

bool ImageFile::open(const std::string& path, bool read_only, std::string& error) {
  auto open_file = [&](int mode) {
    int fd;
    do {
      fd = ::open(path.c_str(), mode | O_CLOEXEC | O_NONBLOCK);  // a FIFO must not block the open
    } while (fd < 0 && errno == EINTR);
    return fd;
  };
  int fd = open_file(read_only ? O_RDONLY : O_RDWR);
  // An image that may not be written is still a volume: a read-only one, on which reading works and
  // repairs are refused with a clear code instead of the whole volume being refused.
  if (fd < 0 && !read_only && (errno == EACCES || errno == EPERM || errno == EROFS || errno == ETXTBSY)) {
    fd = open_file(O_RDONLY);
    if (fd >= 0) read_only = true;
  }
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  disk::DeviceSize size;
  if (!disk::query_device_size(fd, size, error)) {
    ::close(fd);
    return false;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  read_only_ = read_only || size.read_only_device;
  size_ = size.bytes;
  sector_size_ = size.sector_size;
  range_start_ = 0;
  overlay_.reset();
  return true;
}

void ImageFile::confine(uint64_t start, uint64_t length) {
  if (start > size_ || length > size_ - start) length = start = 0;  // a range that is not there reaches nothing
  range_start_ += start;
  size_ = length;
}

void ImageFile::start_snapshot(size_t memory_budget, std::string spill_directory) {
  overlay_ = std::make_unique<disk::SnapshotOverlay>(size_, memory_budget, std::move(spill_directory));
  read_only_ = false;
}

bool ImageFile::read_at(uint64_t offset, std::span<uint8_t> out) const {
  if (fd_ < 0 || offset > size_ || out.size() > size_ - offset) return false;
  ++stats_.reads;
  stats_.bytes_read += out.size();
  if (overlay_) {
    return overlay_->read(offset, out, [this](uint64_t at, std::span<uint8_t> piece) {
      return read_file(range_start_ + at, piece);
    });
  }
  return read_file(range_start_ + offset, out);
}

bool ImageFile::read_file(uint64_t offset, std::span<uint8_t> out) const {
  size_t done = 0;
  // While the cache is warm, the first reads (those that decide how a walk starts) and then one read in
  // eight are tried without waiting: the flag's call costs a tenth of a warm read more than a plain one,
  // and a cache that turns out cold is noticed at most seven reads late.
  constexpr uint64_t kAlwaysTried = 64, kTriedEvery = 8;
  if (!cache_cold_ && !out.empty() && (stats_.reads <= kAlwaysTried || stats_.reads % kTriedEvery == 0)) {
    // What the page cache holds comes back at once; a read that would block (EAGAIN), stops short or
    // is refused the flag tells that the cache is cold, and the rest is read waiting.
    iovec piece{out.data(), out.size()};
    ssize_t n;
    do {
      n = ::preadv2(fd_, &piece, 1, static_cast<off_t>(offset), RWF_NOWAIT);
    } while (n < 0 && errno == EINTR);
    if (n > 0) done = static_cast<size_t>(n);
    if (done < out.size()) {
      cache_cold_ = true;
      ++stats_.uncached_reads;
    }
  } else if (cache_cold_) {
    ++stats_.uncached_reads;
  }
  while (done < out.size()) {
    const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // an error, or the file shrank under us
    done += static_cast<size_t>(n);
  }
  return true;
}

void ImageFile::advise_random(bool random) const {
  if (fd_ >= 0) ::posix_fadvise(fd_, 0, 0, random ? POSIX_FADV_RANDOM : POSIX_FADV_NORMAL);
}

void ImageFile::will_need(uint64_t offset, uint64_t length) const {
  if (fd_ < 0 || !cache_cold_ || offset >= size_) return;
  length = std::min(length, size_ - offset);
  ::posix_fadvise(fd_, static_cast<off_t>(range_start_ + offset), static_cast<off_t>(length), POSIX_FADV_WILLNEED);
}

bool ImageFile::write_at(uint64_t offset, std::span<const uint8_t> data) {
  if (fd_ < 0 || read_only_ || offset > size_ || data.size() > size_ - offset) return false;
  if (overlay_) {
    if (write_hook_) write_hook_(offset, data);
    ++stats_.writes;
    return overlay_->write(offset, data, [this](uint64_t at, std::span<uint8_t> piece) {
      return read_file(range_start_ + at, piece);
    });
  }
  const uint64_t file_offset = range_start_ + offset;
  // A regular file may have shrunk since it was opened; writing past its end would grow it again,
  // with a hole before the write. Block devices do not change size under us.
  struct stat st {};
  if (::fstat(fd_, &st) != 0 ||
      (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) < file_offset + data.size())) {
    return false;
  }
  if (write_hook_) write_hook_(offset, data);
  ++stats_.writes;
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(file_offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool ImageFile::sync() {
  if (fd_ < 0) return false;
  ++stats_.syncs;
  if (overlay_) return true;  // a snapshot's writes are meant to vanish
  int rc;
  do {
    rc = ::fdatasync(fd_);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0 && sync_hook_) sync_hook_();
  return rc == 0;
}

}  // namespace vornos::fat32
