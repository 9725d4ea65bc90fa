// Test image helpers.
#include "test_images.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <regex>
#include <set>

#include "fat32/errors.h"
#include "fat32/le.h"

namespace vornos::fat32::test {

namespace fs = std::filesystem;

namespace {

// Each run gets its own folder, so that runs at the same time never share images.
fs::path run_dir() { return fs::path(FAT32_TEST_SCRATCH_DIR) / ("run-" + std::to_string(::getpid())); }

struct ScratchCleanup : ::testing::Environment {
  void TearDown() override { if (::testing::UnitTest::GetInstance()->Passed()) fs::remove_all(run_dir()); }
};
[[maybe_unused]] ::testing::Environment* const g_cleanup = ::testing::AddGlobalTestEnvironment(new ScratchCleanup);

}  // namespace

std::string scratch_dir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path dir = run_dir() / (info ? std::string(info->test_suite_name()) + "." + info->name() : "global");
  static fs::path last;
  if (dir != last) fs::remove_all(dir);
  last = dir;
  fs::create_directories(dir);
  return dir.string();
}

int run(const std::string& command) {
  const int status = std::system(("PATH=\"$PATH:/usr/sbin:/sbin\" MTOOLS_SKIP_CHECK=1 " + command).c_str());
  return status == -1 || !WIFEXITED(status) ? -1 : WEXITSTATUS(status);
}

std::string quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string mtools_in_code_page(unsigned page) {
  // Read after /etc/mtools.conf and ~/.mtoolsrc, so that its setting wins.
  const std::string config = scratch_dir() + "/mtoolsrc-" + std::to_string(page);
  std::ofstream(config) << "default_codepage=" << page << "\n";
  return "LC_ALL=C.UTF-8 MTOOLSRC=" + quote(config) + " ";
}

std::string make_image(const std::string& name) {
  const std::string image = scratch_dir() + "/" + name;
  EXPECT_EQ(run("mkfs.fat -F 32 -C -i 1234abcd -s 1 " + quote(image) + " 34000 >/dev/null 2>&1"), 0);
  return image;
}

void populate(const std::string& image, const std::vector<std::string>& paths) {
  const std::string source = fs::path(image).parent_path() / "content.txt";
  std::ofstream(source) << "some file content\n";
  std::string command;
  for (const std::string& path : paths) {
    const bool dir = path.back() == '/';
    const std::string target = quote("::/" + (dir ? path.substr(0, path.size() - 1) : path));
    command += (dir ? "mmd -i " + quote(image) : "mcopy -i " + quote(image) + " " + quote(source)) + " " + target + " && ";
  }
  EXPECT_EQ(run(command + "true"), 0) << "populating " << image;
}

const std::vector<std::string> kTree = {
    "Big/", "Photos/", "Photos/Summer Trip/", "Photos/Summer Trip/Beach Day Photo.jpg", "Docs/", "Docs/Letters/",
    "Docs/Letters/Letter to Alice.txt", "Docs/notes.txt", "Docs/playlist.m3u", "Docs/archive.zip", "src/",
    "src/project/", "src/project/lib/", "src/project/lib/util.c", "a.txt"};

std::string make_tree() {
  const std::string image = make_image("tree.img");
  EXPECT_EQ(run("fatlabel " + quote(image) + " MYCARD >/dev/null 2>&1"), 0);
  std::vector<std::string> tree = kTree;
  for (int i = 0; i < 40; ++i) tree.push_back("Big/A Long File Name " + std::to_string(i) + ".txt");
  populate(image, tree);
  EXPECT_EQ(run("mcopy -i " + quote(image) + " /dev/null ::/Docs/empty.txt"), 0);
  return image;
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::vector<uint8_t> bytes(in ? static_cast<size_t>(in.tellg()) : 0);
  in.seekg(0).read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void poke(const std::string& image, uint64_t offset, const std::vector<uint8_t>& bytes) {
  std::fstream file(image, std::ios::binary | std::ios::in | std::ios::out);
  if (!file) file.open(image, std::ios::binary | std::ios::out);  // a new file
  file.seekp(static_cast<std::streamoff>(offset));
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Geometry geometry_of(const std::string& image) {
  std::string error;
  auto volume = Volume::open(image, true, error);
  EXPECT_TRUE(volume) << error;
  return volume ? volume->geometry() : Geometry{};
}

void set_fat(const std::string& image, uint32_t cluster, uint32_t value, const std::vector<uint32_t>& copies) {
  const Geometry g = geometry_of(image);
  std::vector<uint8_t> bytes(4);
  store_le32(bytes.data(), value);
  for (uint32_t copy : copies) poke(image, g.fat_offset(copy) + 4 * uint64_t{cluster}, bytes);
}

uint64_t entry_offset(const std::string& image, const std::string& path, int dot, unsigned slot) {
  std::string error;
  auto volume = Volume::open(image, true, error);
  LookupResult found;
  EXPECT_TRUE(volume && volume->lookup(path, found) == kOk) << path << " " << error;
  if (!volume) return 0;
  const Geometry& g = volume->geometry();
  if (dot >= 0) return g.cluster_offset(found.info.entry.first_cluster()) + static_cast<uint64_t>(dot) * kDirEntrySize;
  EXPECT_LE(uint64_t{slot} * kDirEntrySize, found.info.offset) << path << " slot " << slot;
  return g.cluster_offset(found.info.cluster) + found.info.offset - uint64_t{slot} * kDirEntrySize;
}

std::vector<ByteChange> changed_bytes(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
  EXPECT_EQ(before.size(), after.size());
  std::vector<ByteChange> changes;
  for (size_t i = 0; i < std::min(before.size(), after.size()); ++i) {
    if (before[i] != after[i]) changes.push_back({i, before[i], after[i]});
  }
  return changes;
}

Outcome repair(const std::string& image, std::string_view path, bool read_only, bool dry_run, ImageFile::WriteHook on_write,
               ImageFile::SyncHook on_sync) {
  std::string error;
  auto volume = Volume::open(image, read_only, error);
  if (!volume) return {kIoError, {}, error, {}};
  Outcome outcome;
  RepairOptions options;
  options.dry_run = dry_run;
  options.on_repair = [&](const RepairRecord& r) { outcome.records.push_back(r); };
  volume->set_write_hook(std::move(on_write));
  volume->set_sync_hook(std::move(on_sync));
  outcome.result = repair_dirents(*volume, path, options);
  outcome.problem = volume->problem();
  outcome.io = volume->io_stats();
  return outcome;
}

std::vector<std::string> fsck(const std::string& image) {
  const std::string log = image + ".fsck";
  const int status = run("fsck.fat -n " + quote(image) + " >" + quote(log) + " 2>&1");
  std::vector<std::string> problems;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("fsck.fat ") && !line.starts_with(image + ":") && !line.empty()) problems.push_back(line);
  }
  if (status != 0 && problems.empty()) problems.push_back("exit status " + std::to_string(status));
  fs::remove(log);
  return problems;
}

void WriteLog::record(Volume& volume) {
  volume.set_write_hook([this](uint64_t at, std::span<const uint8_t> data) { add_write(at, data); });
  volume.set_sync_hook([this] { add_barrier(); });
}

void WriteLog::replay(const std::string& image, size_t count) const {
  for (size_t i = 0; i < count; ++i) poke(image, writes[i].first, writes[i].second);
}

void WriteLog::replay(const std::string& image, const std::vector<size_t>& which) const {
  for (size_t i : which) poke(image, writes[i].first, writes[i].second);
}

std::vector<std::vector<size_t>> WriteLog::reordered_states(size_t sample) const {
  std::vector<size_t> starts{0};
  for (size_t b : barriers) {
    if (b != starts.back()) starts.push_back(b);  // a barrier right after another one orders nothing more
  }
  std::mt19937 random(20);
  std::set<std::vector<size_t>> seen;
  std::vector<std::vector<size_t>> states;
  auto add = [&](std::vector<size_t> state) {
    if (seen.insert(state).second) states.push_back(std::move(state));
  };
  for (size_t e = 0; e < starts.size(); ++e) {
    const size_t begin = starts[e], end = e + 1 < starts.size() ? starts[e + 1] : writes.size();
    if (begin == end) continue;
    std::vector<size_t> before(begin);
    std::iota(before.begin(), before.end(), size_t{0});
    std::vector<size_t> picks(end - begin);
    std::iota(picks.begin(), picks.end(), begin);
    // The first `sample` of a partial Fisher-Yates shuffle: the same picks with every standard library.
    auto choose = [&](std::vector<size_t> from) {
      if (from.size() <= sample) return from;
      for (size_t i = 0; i < from.size() && i < sample; ++i) {
        std::swap(from[i], from[i + random() % (from.size() - i)]);
      }
      from.resize(std::min(from.size(), sample));
      return from;
    };
    const std::vector<size_t> singles = choose(picks), left_out = choose(picks);
    for (size_t one : singles) {
      std::vector<size_t> state = before;
      state.push_back(one);
      add(std::move(state));
    }
    // All but the one write of a one-write epoch is the state at the barrier, which a cut checks.
    for (size_t skipped : picks.size() > 1 ? left_out : std::vector<size_t>{}) {
      std::vector<size_t> state = before;
      for (size_t i = begin; i < end; ++i) {
        if (i != skipped) state.push_back(i);
      }
      add(std::move(state));
    }
  }
  return states;
}

std::vector<std::string> worse_than_a_cut(const std::string& image, const std::vector<std::string>& known) {
  static const std::regex harmless_head("(Dirty bit is set|FATs differ but appear to be intact|Reclaimed|"
                                        "Free cluster summary wrong|Leaving filesystem unchanged).*");
  static const std::regex surplus("  File size is (\\d+) bytes, cluster chain length is > \\d+ bytes\\.");
  const std::vector<std::string> lines = fsck(image);
  std::vector<std::string> worse;
  bool harmless = false;  // an indented line belongs to the finding above it
  for (size_t i = 0; i < lines.size(); ++i) {
    std::smatch size;
    if (lines[i].starts_with("/") && i + 2 < lines.size() && std::regex_match(lines[i + 1], size, surplus) &&
        lines[i + 2] == "  Truncating file to " + size[1].str() + " bytes.") {
      i += 2;
      continue;
    }
    if (!lines[i].starts_with(" ")) harmless = std::regex_match(lines[i], harmless_head);
    if (!harmless && std::find(known.begin(), known.end(), lines[i]) == known.end()) worse.push_back(lines[i]);
  }
  return worse;
}

}  // namespace vornos::fat32::test
