// A volume with a mount on it for one run of the file calls, and what tests of the mount read back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fat32/errors.h"
#include "fat32/mount.h"
#include "test_images.h"

namespace vornos::fat32::test {

using Bytes = std::vector<uint8_t>;

inline Bytes pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return bytes;
}
inline Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A volume and the mount on it, for one run, reading short names in `page`.
struct Attached {
  explicit Attached(const std::string& image, bool read_only = false, const CodePage& page = kDefaultCodePage) {
    std::string error;
    volume = Volume::open(image, read_only, error);
    EXPECT_TRUE(volume) << error;
    volume->set_code_page(page);
    mount = std::make_unique<Mount>(*volume);
  }
  Bytes read_all(const std::string& path) {
    Node node;
    EXPECT_EQ(mount->lookup(path, node), kOk) << path;
    Bytes all, buffer(700);
    for (int32_t n; (n = mount->read(node.id, all.size(), buffer)) > 0;) {
      all.insert(all.end(), buffer.begin(), buffer.begin() + n);
    }
    return all;
  }
  int32_t create(const std::string& path, const Bytes& content) {
    Node node;
    if (int32_t rc = mount->open(path, {.write = true, .create = true, .truncate = true}, node); rc != kOk) return rc;
    return mount->write(node.id, 0, content);
  }
  void close() { mount.reset(), volume.reset(); }  // the run ends: detached, the image let go
  std::unique_ptr<Volume> volume;
  std::unique_ptr<Mount> mount;
};

// What an mtools command prints about `path` on `image` ("mtype", "mdir -b"), reading short names in OEM
// code page `page` when given.
inline std::string mtools_output(const std::string& tool, const std::string& image, const std::string& path,
                                 unsigned page = 0) {
  const std::string out = image + ".out";
  EXPECT_EQ(run((page ? mtools_in_code_page(page) : "") + tool + " -i " + quote(image) + " " + quote("::" + path) + " >" + quote(out) + " 2>&1"), 0) << path;
  const Bytes bytes = read_file(out);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace vornos::fat32::test
