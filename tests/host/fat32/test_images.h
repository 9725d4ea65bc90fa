// Test images: FAT32 volumes made with mkfs.fat and mtools in a scratch folder of the build tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fat32/volume.h"

namespace vornos::fat32::test {

// The folder of the running test, empty at its first use in that test.
std::string scratch_dir();

// Runs a shell command; returns its exit status (-1 when it could not run).
int run(const std::string& command);
// Runs a shell command and fails the current test when it does not succeed.
void must_run(const std::string& command);
std::string quote(const std::string& text);

// Makes an empty FAT32 image of `kib` KiB with mkfs.fat (fixed volume id). 33 MiB with 512-byte clusters
// is the smallest size mtools and fsck accept as FAT32.
std::string make_image(const std::string& dir, const std::string& name = "volume.img", unsigned kib = 34000,
                       unsigned sectors_per_cluster = 1);
// mtools commands on an image: "mmd", "mcopy", "mattrib" ... with the image passed as -i.
void mtools(const std::string& image, const std::string& tool_and_args);
// Creates directories (parents first) and small files on the image; a name ending in '/' is a directory.
void populate(const std::string& image, const std::vector<std::string>& paths);

std::vector<uint8_t> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

// Byte offset in the image of the short entry that `path` names, or of its "." (dot = 0) / ".." (1)
// entry, or of its n-th long-name slot before it (slot >= 1). Fails the test when not found.
uint64_t entry_offset(const std::string& image, const std::string& path, int dot = -1, unsigned slot = 0);
// Changes the attribute byte of an entry in place.
void set_attribute(const std::string& image, uint64_t entry_offset, uint8_t attributes);
uint8_t attribute_at(const std::vector<uint8_t>& image_bytes, uint64_t entry_offset);

struct ByteChange {
  uint64_t offset;
  uint8_t before, after;
  bool operator==(const ByteChange&) const = default;
};
// Every byte that differs between two images of the same size (cmp -l).
std::vector<ByteChange> changed_bytes(const std::string& before, const std::string& after);
void copy_file(const std::string& from, const std::string& to);

// Sets the immutable flag on a file, which refuses writes even to root, for the life of the object.
// locked() is false where the flag cannot be set (another file system, no capability).
class ImmutableFile {
 public:
  explicit ImmutableFile(std::string path);
  ~ImmutableFile();
  ImmutableFile(const ImmutableFile&) = delete;
  ImmutableFile& operator=(const ImmutableFile&) = delete;
  bool locked() const { return locked_; }

 private:
  std::string path_;
  bool locked_;
};

// fsck.fat -n on the image: true when it reports nothing to fix.
bool fsck_clean(const std::string& image, std::string* report = nullptr);

}  // namespace vornos::fat32::test
