// Reads of the image file are first tried from the page cache alone; what it lacks is read waiting.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include "fat32/image_file.h"
#include "test_images.h"

namespace vornos::fat32::test {
TEST(ImageFile, ReadsWhatTheCacheLacksAndThenAnnounces) {
  const std::string path = scratch_dir() + "/image";
  std::vector<uint8_t> bytes(256 << 10), out(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 4096);
  poke(path, 0, bytes);
  // Cached before the read: all, none, or the first half only (read back without read-ahead).
  struct Row { bool evict; size_t cached; } rows[] = {{false, 0}, {true, 0}, {true, 128 << 10}};
  for (const Row& row : rows) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::fsync(fd), 0);  // clean pages can be dropped
    if (row.evict) ASSERT_EQ(::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), 0);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    ASSERT_EQ(::pread(fd, out.data(), row.cached, 0), static_cast<ssize_t>(row.cached));
    ::close(fd);
    ImageFile file;
    std::string error;
    ASSERT_TRUE(file.open(path, true, error) && file.read_at(0, out)) << error;
    EXPECT_EQ(out, bytes) << row.cached;
    EXPECT_EQ(file.cache_cold(), row.evict) << row.cached;
    EXPECT_FALSE(file.read_at(bytes.size() + 1, {}));  // past the end, even reading nothing
  }
  // Past the first 64 reads one in eight is tried without waiting: a cache gone cold is noticed late.
  ImageFile file;
  std::string error;
  ASSERT_TRUE(file.open(path, true, error)) << error;
  file.advise_random(true);  // each read fetches only what it asks for
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(file.read_at(0, std::span(out).first(512)));
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_EQ(::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), 0);
  ::close(fd);
  for (uint64_t i = 1; i <= 8; ++i) EXPECT_EQ(file.read_at(i * 4096, std::span(out).first(512)) && file.cache_cold(), i == 8) << i;
}
}  // namespace vornos::fat32::test
