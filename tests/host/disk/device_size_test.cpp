// Sizes of files and block devices; a loop device stands in for a card reader where the machine allows one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "../fat32/test_images.h"
#include "disk/device_size.h"
#include "fat32/errors.h"
#include "fat32/repair.h"
#include "fat32/volume.h"

namespace vornos {
namespace {

using fat32::test::quote;
using fat32::test::run;

// The first line a command prints, or empty.
std::string first_line_of(const std::string& command) {
  std::string line;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    if (std::fgets(buffer, sizeof buffer, pipe)) line = buffer;
    ::pclose(pipe);
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  return line;
}

TEST(DeviceSize, RegularFilesHaveTheirLengthAndNoSectorSize) {
  const std::string path = fat32::test::scratch_dir() + "/file";
  std::ofstream(path) << std::string(1234, 'x');
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  disk::DeviceSize size;
  std::string error;
  EXPECT_TRUE(disk::query_device_size(fd, size, error)) << error;
  EXPECT_EQ(size.bytes, 1234u);
  EXPECT_EQ(size.sector_size, 0u);
  EXPECT_FALSE(size.block_device);
  ::close(fd);
}

TEST(DeviceSize, DirectoriesAndPipesAreRefused) {
  std::string error;
  disk::DeviceSize size;
  const int directory = ::open("/", O_RDONLY | O_DIRECTORY);
  EXPECT_FALSE(disk::query_device_size(directory, size, error));
  EXPECT_EQ(error, "it is a directory");
  ::close(directory);
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  EXPECT_FALSE(disk::query_device_size(pipe_ends[0], size, error));
  EXPECT_EQ(error, "not a regular file or block device");
  ::close(pipe_ends[0]);
  ::close(pipe_ends[1]);
}

// A loop device over a partitioned disk: the whole device finds its partition, the partition's own device
// is a bare volume, both sized by the block layer.
TEST(LoopDevices, AWholeDiskAndItsPartitionAttachAsImagesDo) {
  const std::string disk = fat32::test::scratch_dir() + "/disk.img";
  ASSERT_EQ(run("truncate -s 40M " + quote(disk)), 0);
  ASSERT_EQ(run("sfdisk --no-reread --no-tell-kernel -q " + quote(disk) +
                " >/dev/null 2>&1 <<'END'\nlabel: dos\nstart=2048, size=70000, type=c\nEND\n"),
            0);
  ASSERT_EQ(run("mkfs.fat -F 32 -s 1 --offset 2048 " + quote(disk) + " 34000 >/dev/null 2>&1"), 0);
  fat32::test::populate(disk + "@@1048576", {"Docs/", "Docs/notes.txt"});
  // A loop device over the disk's bytes; its name, or what losetup said instead.
  const auto attach = [&](const std::string& options) {
    return first_line_of("PATH=\"$PATH:/usr/sbin:/sbin\" losetup --find --show " + options + quote(disk) + " 2>&1");
  };
  const std::string device = attach("");
  if (device.rfind("/dev/loop", 0) != 0) {
    GTEST_SKIP() << "this machine does not allow loop devices (losetup: " << device << "); block devices untested";
  }
  struct Detach {
    std::string device;
    ~Detach() { run("losetup -d " + quote(device)); }
  } detach{device};

  const int fd = ::open(device.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  disk::DeviceSize size;
  std::string error;
  EXPECT_TRUE(disk::query_device_size(fd, size, error)) << error;
  ::close(fd);
  EXPECT_TRUE(size.block_device);
  EXPECT_EQ(size.bytes, 40u << 20);
  EXPECT_EQ(size.sector_size, 512u);
  EXPECT_FALSE(size.read_only_device);

  auto whole = fat32::Volume::open(device, fat32::VolumeOpenOptions{}, error);
  ASSERT_NE(whole, nullptr) << error;
  ASSERT_TRUE(whole->place().partition);
  EXPECT_EQ(whole->place().partition->number, 1u);
  EXPECT_FALSE(whole->read_only());
  fat32::LookupResult found;
  EXPECT_EQ(whole->lookup("/Docs/notes.txt", found), fat32::kOk);
  whole.reset();

  // The partition's own device, as /dev/sdX1 would be (a loop device over the partition's bytes alone), and
  // one that may not be written: a bare volume, attached read-only as an image file would be.
  const std::string read_only = attach("--read-only --offset 1048576 --sizelimit 35840000 ");
  ASSERT_EQ(read_only.rfind("/dev/loop", 0), 0u) << read_only;
  const Detach detach_read_only{read_only};
  auto guarded = fat32::Volume::open(read_only, fat32::VolumeOpenOptions{}, error);
  ASSERT_NE(guarded, nullptr) << error;
  EXPECT_FALSE(guarded->place().partition);
  EXPECT_TRUE(guarded->read_only());
  EXPECT_EQ(guarded->lookup("/Docs/notes.txt", found), fat32::kOk);
  EXPECT_EQ(fat32::repair_dirents(*guarded, "/", {}), 0);  // nothing to repair, and nothing tried
}

}  // namespace
}  // namespace vornos
