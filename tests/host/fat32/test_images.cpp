// Test image helpers.
#include "test_images.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fat32/errors.h"

namespace vornos::fat32::test {

namespace fs = std::filesystem;

namespace {

// Each run of the test program gets its own folder, so that runs at the same time never share images;
// it is removed when every test passed and kept for a look otherwise.
fs::path run_dir() { return fs::path(FAT32_TEST_SCRATCH_DIR) / ("run-" + std::to_string(::getpid())); }

class ScratchCleanup : public ::testing::Environment {
 public:
  void TearDown() override {
    if (::testing::UnitTest::GetInstance()->Passed()) fs::remove_all(run_dir());
  }
};

[[maybe_unused]] ::testing::Environment* const g_scratch_cleanup = ::testing::AddGlobalTestEnvironment(new ScratchCleanup);

}  // namespace

std::string scratch_dir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
  const fs::path dir = run_dir() / name;
  // Emptied on the first call of each test only: a test may ask for its folder more than once.
  static std::string last_test;
  if (name != last_test) fs::remove_all(dir);
  last_test = name;
  fs::create_directories(dir);
  return dir.string();
}

int run(const std::string& command) {
  const std::string full = "PATH=\"$PATH:/usr/sbin:/sbin\" MTOOLS_SKIP_CHECK=1 " + command;
  const int status = std::system(full.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

void must_run(const std::string& command) {
  ASSERT_EQ(run(command), 0) << "command failed: " << command;
}

std::string quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string make_image(const std::string& dir, const std::string& name, unsigned kib, unsigned sectors_per_cluster) {
  const std::string image = dir + "/" + name;
  fs::remove(image);
  must_run("mkfs.fat -F 32 -C -i 1234abcd -s " + std::to_string(sectors_per_cluster) + " " + quote(image) + " " +
           std::to_string(kib) + " >/dev/null 2>&1");
  return image;
}

void mtools(const std::string& image, const std::string& tool_and_args) {
  const auto space = tool_and_args.find(' ');
  must_run(tool_and_args.substr(0, space) + " -i " + quote(image) +
           (space == std::string::npos ? "" : tool_and_args.substr(space)) + " >/dev/null");
}

void populate(const std::string& image, const std::vector<std::string>& paths) {
  const fs::path source = fs::path(image).parent_path() / "content.txt";
  std::ofstream(source) << "some file content\n";
  for (const std::string& path : paths) {
    if (!path.empty() && path.back() == '/') {
      mtools(image, "mmd " + quote("::/" + path.substr(0, path.size() - 1)));
    } else {
      mtools(image, "mcopy " + quote(source.string()) + " " + quote("::/" + path));
    }
  }
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint64_t entry_offset(const std::string& image, const std::string& path, int dot, unsigned slot) {
  std::string error;
  auto volume = Volume::open(image, true, error);
  EXPECT_TRUE(volume) << error;
  if (!volume) return 0;
  LookupResult found;
  EXPECT_EQ(volume->lookup(path, found), kOk) << path;
  const Geometry& g = volume->geometry();
  if (dot >= 0) {
    EXPECT_TRUE(found.is_directory && !found.is_root) << path;
    return g.cluster_offset(found.info.entry.first_cluster()) + static_cast<uint64_t>(dot) * kDirEntrySize;
  }
  EXPECT_FALSE(found.is_root) << path;
  // Slots of the tests' names never cross a cluster boundary backwards past the first entry.
  const uint64_t short_offset = g.cluster_offset(found.info.cluster) + found.info.offset;
  EXPECT_LE(uint64_t{slot} * kDirEntrySize, found.info.offset) << path << " slot " << slot;
  return short_offset - uint64_t{slot} * kDirEntrySize;
}

void set_attribute(const std::string& image, uint64_t offset, uint8_t attributes) {
  std::fstream file(image, std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(static_cast<std::streamoff>(offset + kAttrOffset));
  file.put(static_cast<char>(attributes));
}

uint8_t attribute_at(const std::vector<uint8_t>& image_bytes, uint64_t offset) {
  return image_bytes.at(offset + kAttrOffset);
}

std::vector<ByteChange> changed_bytes(const std::string& before, const std::string& after) {
  const std::string listing = after + ".cmp";
  const int status = run("cmp -l " + quote(before) + " " + quote(after) + " >" + quote(listing) + " 2>&1");
  EXPECT_TRUE(status == 0 || status == 1) << "cmp failed on " << before << " and " << after;
  std::vector<ByteChange> changes;
  std::ifstream in(listing);
  uint64_t position;
  std::string old_octal, new_octal;
  while (in >> position >> old_octal >> new_octal) {
    changes.push_back({position - 1, static_cast<uint8_t>(std::stoul(old_octal, nullptr, 8)),
                       static_cast<uint8_t>(std::stoul(new_octal, nullptr, 8))});
  }
  return changes;
}

void copy_file(const std::string& from, const std::string& to) {
  must_run("cp --sparse=always " + quote(from) + " " + quote(to));
}

ImmutableFile::ImmutableFile(std::string path)
    : path_(std::move(path)), locked_(run("chattr +i " + quote(path_) + " 2>/dev/null") == 0) {}

ImmutableFile::~ImmutableFile() {
  if (locked_) run("chattr -i " + quote(path_));
}

bool fsck_clean(const std::string& image, std::string* report) {
  const std::string log = image + ".fsck";
  const int status = run("fsck.fat -n " + quote(image) + " >" + quote(log) + " 2>&1");
  if (report) {
    std::ifstream in(log);
    report->assign(std::istreambuf_iterator<char>(in), {});
  }
  return status == 0;
}

}  // namespace vornos::fat32::test
