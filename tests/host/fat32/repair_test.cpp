// The repair on real images: exact counts, exact bytes changed, what is left alone, paths, safety.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "fat32/errors.h"
#include "fat32/fat_table.h"
#include "fat32/le.h"
#include "fat32/repair.h"
#include "fat32/repair_walk.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;

struct Damage {
  std::string path;
  int dot;          // -1: the entry itself; 0: its "."; 1: its ".."
  unsigned slot;    // 0: the short entry; n: its n-th long-name slot
  uint8_t set, clear, toggle;
};

struct Expected {
  uint64_t offset;
  uint8_t before, after;
  std::string path, rule;
};

struct Outcome {
  int32_t result;
  std::vector<RepairRecord> records;
};

Outcome repair(const std::string& image, std::string_view path, bool read_only = false, bool dry_run = false) {
  std::string error;
  auto volume = Volume::open(image, read_only, error);
  EXPECT_TRUE(volume) << error;
  if (!volume) return {kIoError, {}};
  Outcome outcome;
  RepairOptions options;
  options.dry_run = dry_run;
  options.on_repair = [&](const RepairRecord& r) { outcome.records.push_back(r); };
  outcome.result = repair_dirents(*volume, path, options);
  return outcome;
}

// A tree with damage of every kind, in a volume with `sectors_per_cluster`-sector clusters.
class DamagedTree {
 public:
  explicit DamagedTree(unsigned sectors_per_cluster = 1) {
    const std::string dir = scratch_dir();
    const unsigned kib = sectors_per_cluster == 1 ? 34000 : 34000 * sectors_per_cluster;
    image = make_image(dir, "damaged.img", kib, sectors_per_cluster);
    must_run("fatlabel " + quote(image) + " MYCARD >/dev/null 2>&1");
    populate(image, {"Photos/", "Photos/Summer Trip/", "Photos/Summer Trip/Beach Day Photo.jpg",
                     "Photos/Summer Trip/Sunset.jpg", "Docs/", "Docs/Letters/", "Docs/Letters/Letter to Alice.txt",
                     "Docs/notes.txt", "Docs/playlist.m3u", "Docs/archive.zip", "Docs/hidden.ini", "src/",
                     "src/project/", "src/project/main.c", "src/project/lib/", "src/project/lib/util.c"});
    std::ofstream(dir + "/empty");
    mtools(image, "mcopy " + quote(dir + "/empty") + " ::/Docs/empty.txt");
    mtools(image, "mattrib +h ::/Docs/hidden.ini");

    // Near cases first (left alone), then damage: every rule, twice where a second place matters.
    apply({"/Docs/archive.zip", -1, 0, 0x40, 0, 0}, false);
    apply({"/Photos", 0, 0, 0x01, 0, 0}, false);
    apply({"/Docs/Letters", 0, 0, 0, 0x10, 0}, true, "/Docs/Letters/.", "R2");
    apply({"/src/project/lib", 1, 0, 0x08, 0, 0}, true, "/src/project/lib/..", "R2");
    apply({"/src/project", -1, 0, 0x08, 0, 0}, true, "/src/project", "R3");
    apply({"/Docs/notes.txt", -1, 0, 0x08, 0, 0}, true, "/Docs/notes.txt", "R4");
    apply({"/src/project/lib/util.c", -1, 0, 0x08, 0, 0}, true, "/src/project/lib/util.c", "R4");
    apply({"/Docs/playlist.m3u", -1, 0, 0x10, 0, 0}, true, "/Docs/playlist.m3u", "R5");
    apply({"/Docs/empty.txt", -1, 0, 0x10, 0, 0}, true, "/Docs/empty.txt", "R5");
    apply({"/Photos/Summer Trip/Beach Day Photo.jpg", -1, 1, 0, 0, 0x40}, true,
          "/Photos/Summer Trip/Beach Day Photo.jpg", "R1");
  }

  void apply(const Damage& d, bool repaired, std::string path = "", std::string rule = "") {
    const uint64_t offset = entry_offset(image, d.path, d.dot, d.slot);
    const uint8_t before = attribute_at(read_entry(offset), 0);
    const uint8_t damaged = static_cast<uint8_t>(((before ^ d.toggle) | d.set) & ~d.clear);
    set_attribute(image, offset, damaged);
    if (repaired) expected.push_back({offset + kAttrOffset, damaged, before, path, rule});
  }

  std::vector<uint8_t> read_entry(uint64_t offset) const {
    std::ifstream in(image, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<uint8_t> bytes(kDirEntrySize);
    in.read(reinterpret_cast<char*>(bytes.data()), kDirEntrySize);
    return bytes;
  }

  std::vector<ByteChange> expected_changes() const {
    std::vector<ByteChange> changes;
    for (const Expected& e : expected) changes.push_back({e.offset, e.before, e.after});
    std::sort(changes.begin(), changes.end(), [](auto& a, auto& b) { return a.offset < b.offset; });
    return changes;
  }

  std::map<std::string, std::string> expected_rules() const {
    std::map<std::string, std::string> rules;
    for (const Expected& e : expected) rules[e.path] = e.rule;
    return rules;
  }

  std::string image;
  std::vector<Expected> expected;
};

std::map<std::string, std::string> rules_of(const std::vector<RepairRecord>& records) {
  std::map<std::string, std::string> rules;
  for (const RepairRecord& r : records) rules[r.path] = r.rules;
  return rules;
}

void check_repairs_every_rule(unsigned sectors_per_cluster) {
  DamagedTree tree(sectors_per_cluster);
  const std::string before = tree.image + ".before";
  copy_file(tree.image, before);
  ASSERT_FALSE(fsck_clean(tree.image));

  const Outcome first = repair(tree.image, "/");
  EXPECT_EQ(first.result, 8);
  EXPECT_EQ(first.records.size(), 8u);
  EXPECT_EQ(rules_of(first.records), tree.expected_rules());
  for (const RepairRecord& r : first.records) {
    for (const Expected& e : tree.expected) {
      if (e.path != r.path) continue;
      EXPECT_EQ(r.old_attr, e.before) << r.path;
      EXPECT_EQ(r.new_attr, e.after) << r.path;
    }
  }
  // Exactly the damaged attribute bytes change; FAT[1] is back as it was.
  EXPECT_EQ(changed_bytes(before, tree.image), tree.expected_changes());
  std::string report;
  EXPECT_TRUE(fsck_clean(tree.image, &report)) << report;

  const std::string after_first = tree.image + ".after";
  copy_file(tree.image, after_first);
  const Outcome second = repair(tree.image, "/");
  EXPECT_EQ(second.result, 0);
  EXPECT_TRUE(second.records.empty());
  EXPECT_TRUE(changed_bytes(after_first, tree.image).empty());
}

TEST(Repair, RepairsEveryRuleAndNothingElse) { check_repairs_every_rule(1); }

TEST(Repair, RepairsInMultiSectorClusters) { check_repairs_every_rule(8); }

TEST(Repair, DryRunReportsTheSameRepairsAndWritesNothing) {
  DamagedTree tree;
  const std::string before = tree.image + ".before";
  copy_file(tree.image, before);
  for (bool read_only : {true, false}) {
    const Outcome dry = repair(tree.image, "/", read_only, true);
    EXPECT_EQ(dry.result, 8);
    EXPECT_EQ(rules_of(dry.records), tree.expected_rules());
    EXPECT_TRUE(changed_bytes(before, tree.image).empty());
  }
}

TEST(Repair, ReadOnlyVolumeRefusesOnlyWhenRepairsAreNeeded) {
  DamagedTree tree;
  const std::string before = tree.image + ".before";
  copy_file(tree.image, before);
  const Outcome refused = repair(tree.image, "/", true);
  EXPECT_EQ(refused.result, kReadOnly);
  EXPECT_TRUE(refused.records.empty());
  EXPECT_TRUE(changed_bytes(before, tree.image).empty());
  EXPECT_EQ(repair(tree.image, "/", true).result, kReadOnly);
  EXPECT_EQ(repair(tree.image, "/Photos/Summer Trip/Sunset.jpg", true).result, kNotDirectory);

  const std::string image = make_image(scratch_dir());
  populate(image, {"a/", "a/b.txt"});
  EXPECT_EQ(repair(image, "/", true).result, 0);

  // A file that may not be written behaves the same when writing is asked for.
  {
    const ImmutableFile lock(tree.image);
    if (!lock.locked()) GTEST_SKIP() << "chattr +i is not available here";
    EXPECT_EQ(repair(tree.image, "/", false).result, kReadOnly);
    EXPECT_EQ(repair(tree.image, "/", false, true).result, 8);
  }
  EXPECT_TRUE(changed_bytes(before, tree.image).empty());
}

TEST(Repair, CleanVolumeIsLeftByteForByte) {
  const std::string image = make_image(scratch_dir());
  populate(image, {"a/", "a/Long Name File.txt", "a/b/", "a/b/c.txt", "d.txt"});
  const std::string before = image + ".before";
  copy_file(image, before);
  const auto mtime = std::filesystem::last_write_time(image);
  EXPECT_EQ(repair(image, "/").result, 0);
  EXPECT_TRUE(changed_bytes(before, image).empty());
  EXPECT_EQ(std::filesystem::last_write_time(image), mtime);
}

TEST(Repair, WalksOnlyBelowThePath) {
  struct Case {
    const char* path;
    int32_t result;
    std::vector<std::string> repaired;
  };
  const Case cases[] = {
      {"/Photos", 1, {"/Photos/Summer Trip/Beach Day Photo.jpg"}},
      {"/photos/SUMMER TRIP/", 1, {"/Photos/Summer Trip/Beach Day Photo.jpg"}},
      {"/src/project/lib", 2, {"/src/project/lib/..", "/src/project/lib/util.c"}},
      {"/SRC/PROJECT", 2, {"/src/project/lib/..", "/src/project/lib/util.c"}},
      {"/src", 3, {"/src/project", "/src/project/lib/..", "/src/project/lib/util.c"}},
      {"/Docs/Letters", 1, {"/Docs/Letters/."}},
      {"/missing", kNoEntry, {}},
      {"/Docs/missing/deeper", kNoEntry, {}},
      {"/Docs/notes.txt", kNotDirectory, {}},
      {"/Docs/archive.zip/", kNotDirectory, {}},
      {"Docs", kInvalid, {}},
      {"./Docs", kInvalid, {}},
  };
  DamagedTree tree;
  const std::string pristine = tree.image + ".pristine";
  copy_file(tree.image, pristine);
  for (const Case& c : cases) {
    copy_file(pristine, tree.image);
    const Outcome outcome = repair(tree.image, c.path);
    EXPECT_EQ(outcome.result, c.result) << c.path;
    std::vector<std::string> paths;
    for (const RepairRecord& r : outcome.records) paths.push_back(r.path);
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> expected = c.repaired;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(paths, expected) << c.path;
    if (c.result < 0) EXPECT_TRUE(changed_bytes(pristine, tree.image).empty()) << c.path;
  }
}

TEST(Repair, DoesNotEnterWhatIsNotADirectoryAfterRepair) {
  const std::string dir = scratch_dir();
  const std::string image = make_image(dir);
  // File contents that read as a directory holding a file hidden by a label bit: entering them would
  // "repair" a byte of the file's data.
  std::vector<uint8_t> content(512, 0);
  std::memcpy(content.data(), "HIDDEN  TXT", 11);
  content[kAttrOffset] = 0x28;
  content[26] = 9;
  write_file(dir + "/fake", content);
  mtools(image, "mcopy " + quote(dir + "/fake") + " ::/label-and-dir.bin");
  mtools(image, "mcopy " + quote(dir + "/fake") + " ::/marked-dir.bin");
  mtools(image, "mcopy " + quote(dir + "/fake") + " ::/sized.bin");
  set_attribute(image, entry_offset(image, "/label-and-dir.bin"), 0x18);  // no evidence: not R3, left
  set_attribute(image, entry_offset(image, "/marked-dir.bin"), 0x30);     // R5
  // Directory bit on an entry without clusters but with a size: neither a file nor a directory for sure.
  {
    std::fstream f(image, std::ios::binary | std::ios::in | std::ios::out);
    const uint64_t at = entry_offset(image, "/sized.bin");
    f.seekp(static_cast<std::streamoff>(at + 20));
    const char zero[2] = {0, 0};
    f.write(zero, 2);
    f.seekp(static_cast<std::streamoff>(at + 26));
    f.write(zero, 2);
    f.seekp(static_cast<std::streamoff>(at + kAttrOffset));
    f.put(0x10);
  }
  const std::string before = image + ".before";
  copy_file(image, before);
  const Outcome outcome = repair(image, "/");
  EXPECT_EQ(outcome.result, 1);
  EXPECT_EQ(rules_of(outcome.records), (std::map<std::string, std::string>{{"/marked-dir.bin", "R5"}}));
  const uint64_t marked = entry_offset(image, "/marked-dir.bin") + kAttrOffset;
  EXPECT_EQ(changed_bytes(before, image), (std::vector<ByteChange>{{marked, 0x30, 0x20}}));
}

TEST(Repair, LoopsInTheTreeAreErrorsAndWriteNothing) {
  const std::string image = make_image(scratch_dir());
  populate(image, {"a/", "a/b/", "a/b/c/", "a/b/c/file.txt", "x/", "y/"});
  set_attribute(image, entry_offset(image, "/a/b/c/file.txt"), 0x28);  // something to repair
  const uint64_t a_cluster = [&] {
    auto bytes = read_file(image);
    const uint64_t at = entry_offset(image, "/a");
    return uint64_t{load_le16(&bytes[at + 26])};
  }();
  const std::string pristine = image + ".pristine";
  copy_file(image, pristine);

  // /a/b/c points back at /a: a cycle.
  {
    const uint64_t at = entry_offset(image, "/a/b/c");
    std::fstream f(image, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(at + 26));
    f.put(static_cast<char>(a_cluster & 0xFF));
    f.put(static_cast<char>(a_cluster >> 8));
  }
  const std::string cyclic = image + ".cyclic";
  copy_file(image, cyclic);
  EXPECT_EQ(repair(image, "/").result, kIoError);
  EXPECT_EQ(repair(image, "/a").result, kIoError);
  EXPECT_TRUE(changed_bytes(cyclic, image).empty());

  // /y shares /x's cluster: the same directory reached twice.
  copy_file(pristine, image);
  {
    const uint64_t x = entry_offset(image, "/x");
    const uint64_t y = entry_offset(image, "/y");
    auto bytes = read_file(image);
    std::fstream f(image, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(y + 26));
    f.put(static_cast<char>(bytes[x + 26]));
    f.put(static_cast<char>(bytes[x + 27]));
  }
  const std::string shared = image + ".shared";
  copy_file(image, shared);
  EXPECT_EQ(repair(image, "/").result, kIoError);
  EXPECT_TRUE(changed_bytes(shared, image).empty());

  // The untouched tree repairs its one damaged entry.
  copy_file(pristine, image);
  EXPECT_EQ(repair(image, "/").result, 1);
}

TEST(Repair, DirtyVolumeStaysMarkedDirty) {
  DamagedTree tree;
  std::string error;
  Geometry g = Volume::open(tree.image, true, error)->geometry();
  auto bytes = read_file(tree.image);
  std::vector<uint64_t> fat1;
  for (uint32_t copy = 0; copy < g.fat_count; ++copy) {
    fat1.push_back(g.fat_offset(copy) + 4);
    ASSERT_TRUE(load_le32(&bytes[fat1.back()]) & kFatCleanShutdown);
    store_le32(&bytes[fat1.back()], load_le32(&bytes[fat1.back()]) & ~kFatCleanShutdown);
  }
  write_file(tree.image, bytes);
  EXPECT_EQ(repair(tree.image, "/").result, 8);
  bytes = read_file(tree.image);
  for (uint64_t at : fat1) EXPECT_FALSE(load_le32(&bytes[at]) & kFatCleanShutdown);
}

TEST(Repair, ReadsEachDirectoryClusterOnceAndWritesOnlyChangedSectors) {
  const std::string dir = scratch_dir();
  const std::string image = make_image(dir);
  std::vector<std::string> tree = {"big/", "big/sub/", "big/sub/deeper/", "other/", "other/file.txt"};
  for (int i = 0; i < 40; ++i) tree.push_back("big/A Long File Name " + std::to_string(i) + ".txt");
  for (int i = 0; i < 20; ++i) tree.push_back("big/sub/deeper/f" + std::to_string(i));
  populate(image, tree);
  // Four neighbours (12 entries, 384 bytes) span at most two sectors.
  const std::vector<std::string> damaged = {"/big/A Long File Name 3.txt", "/big/A Long File Name 4.txt",
                                            "/big/A Long File Name 5.txt", "/big/A Long File Name 6.txt",
                                            "/other/file.txt"};
  std::set<uint64_t> sectors;
  for (const std::string& path : damaged) {
    const uint64_t offset = entry_offset(image, path);
    set_attribute(image, offset, 0x28);
    sectors.insert(offset / 512);
  }
  ASSERT_LE(sectors.size(), 3u);

  std::string error;
  auto volume = Volume::open(image, false, error);
  ASSERT_TRUE(volume) << error;
  uint64_t directory_clusters = 0;
  for (const char* path : {"/", "/big", "/big/sub", "/big/sub/deeper", "/other"}) {
    LookupResult found;
    ASSERT_EQ(volume->lookup(path, found), kOk);
    std::vector<uint32_t> chain;
    ASSERT_EQ(volume->cluster_chain(found.directory_cluster(volume->root_cluster()), chain), kOk);
    directory_clusters += chain.size();
  }
  ASSERT_GT(directory_clusters, 12u);

  volume = Volume::open(image, false, error);
  const IoStats before = volume->io_stats();
  RepairOptions dry;
  dry.dry_run = true;
  EXPECT_EQ(repair_dirents(*volume, "/", dry), 5);
  // Every directory cluster once, plus the one chunk of FAT these low clusters live in.
  EXPECT_EQ(volume->io_stats().reads - before.reads, directory_clusters + 1);
  EXPECT_EQ(volume->io_stats().writes, 0u);

  volume = Volume::open(image, false, error);
  EXPECT_EQ(repair_dirents(*volume, "/", {}), 5);
  // Dirty marks in both FATs, the changed sectors, clean marks in both FATs; durable after each step.
  EXPECT_EQ(volume->io_stats().writes, 2 + sectors.size() + 2);
  EXPECT_EQ(volume->io_stats().syncs, 3u);
  // A second call on the same open volume sees its own repairs and writes nothing.
  EXPECT_EQ(repair_dirents(*volume, "/", {}), 0);
  EXPECT_EQ(volume->io_stats().writes, 2 + sectors.size() + 2);
}

TEST(Repair, AWriteErrorLeavesEachEntryOldOrRepairedAndTheVolumeDirty) {
  DamagedTree tree;
  const std::string before = tree.image + ".before";
  copy_file(tree.image, before);
  std::vector<uint64_t> offsets;
  for (const Expected& e : tree.expected) offsets.push_back(e.offset);
  std::sort(offsets.begin(), offsets.end());
  // Writes at or past `limit` fail (EFBIG): the dirty marks in the FATs go through, the directory
  // sectors past the middle of the damaged ones do not.
  const uint64_t limit = offsets[offsets.size() / 2] / 512 * 512;
  ASSERT_GT(limit, offsets.front());

  std::string error;
  auto volume = Volume::open(tree.image, false, error);
  ASSERT_TRUE(volume) << error;
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = limit;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::vector<RepairRecord> logged;
  RepairOptions options;
  options.on_repair = [&](const RepairRecord& r) { logged.push_back(r); };
  const int32_t result = repair_dirents(*volume, "/", options);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_EQ(result, kIoError);
  EXPECT_TRUE(logged.empty()) << "repairs reported although the write failed";
  EXPECT_NE(volume->problem().find("cannot write sector"), std::string::npos) << volume->problem();
  std::vector<ByteChange> expected;
  for (const ByteChange& c : tree.expected_changes()) {
    if (c.offset < limit) expected.push_back(c);
  }
  const Geometry& g = volume->geometry();
  for (uint32_t copy = 0; copy < g.fat_count; ++copy) {
    const uint64_t state = g.fat_offset(copy) + 4 + 3;  // top byte of FAT[1]: 0x0F -> 0x07
    expected.push_back({state, 0x0F, 0x07});
  }
  std::sort(expected.begin(), expected.end(), [](auto& a, auto& b) { return a.offset < b.offset; });
  EXPECT_EQ(changed_bytes(before, tree.image), expected);

  // Run again without the limit: the rest is repaired, and the volume stays marked for a check.
  EXPECT_EQ(repair(tree.image, "/").result, static_cast<int32_t>(tree.expected.size() - (expected.size() - 2)));
  std::vector<ByteChange> all = tree.expected_changes();
  for (uint32_t copy = 0; copy < g.fat_count; ++copy) all.push_back({g.fat_offset(copy) + 7, 0x0F, 0x07});
  std::sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.offset < b.offset; });
  EXPECT_EQ(changed_bytes(before, tree.image), all);
}

// Writes a chain of `depth` directories, each named "D" inside the one before, below the root of an
// empty image, straight into the clusters and the FAT.
void write_directory_chain(const std::string& image, uint32_t depth) {
  std::string error;
  const Geometry g = Volume::open(image, true, error)->geometry();
  auto bytes = read_file(image);
  auto put_entry = [&](uint32_t cluster, uint32_t slot, const char* name, uint32_t target) {
    uint8_t* e = &bytes[g.cluster_offset(cluster) + slot * kDirEntrySize];
    std::memcpy(e, name, kShortNameSize);
    e[kAttrOffset] = attr::kDirectory;
    store_le16(e + 20, static_cast<uint16_t>(target >> 16));
    store_le16(e + 26, static_cast<uint16_t>(target));
  };
  uint32_t parent = g.root_cluster;
  for (uint32_t level = 0; level < depth; ++level) {
    const uint32_t cluster = g.root_cluster + 1 + level;
    const uint32_t parent_slot = parent == g.root_cluster ? 0 : 2;
    put_entry(parent, parent_slot, "D          ", cluster);
    put_entry(cluster, 0, ".          ", cluster);
    put_entry(cluster, 1, "..         ", parent == g.root_cluster ? 0 : parent);
    for (uint32_t copy = 0; copy < g.fat_count; ++copy) store_le32(&bytes[g.fat_offset(copy) + 4 * cluster], 0x0FFFFFFF);
    parent = cluster;
  }
  uint8_t* free_count = &bytes[uint64_t{g.fsinfo_sector} * g.bytes_per_sector + 488];
  store_le32(free_count, load_le32(free_count) - depth);
  write_file(image, bytes);
}

TEST(Repair, DeepTreesWalkUpToTheDepthLimit) {
  const std::string dir = scratch_dir();
  const std::string deepest = make_image(dir, "deepest.img");
  write_directory_chain(deepest, RepairWalk::kMaxDepth - 1);  // with the root: exactly the limit
  EXPECT_TRUE(fsck_clean(deepest));
  EXPECT_EQ(repair(deepest, "/").result, 0);

  const std::string too_deep = make_image(dir, "too-deep.img");
  write_directory_chain(too_deep, RepairWalk::kMaxDepth);
  std::string error;
  auto volume = Volume::open(too_deep, false, error);
  EXPECT_EQ(repair_dirents(*volume, "/", {}), kIoError);
  EXPECT_NE(volume->problem().find("deeper than 4096 levels"), std::string::npos) << volume->problem();
  EXPECT_EQ(repair(too_deep, "/D/D/D").result, 0) << "the limit counts from where the walk starts";
}

TEST(Repair, WaitsWhileAnotherRunHoldsTheImage) {
  DamagedTree tree;
  const std::vector<uint8_t> before = read_file(tree.image);
  const int other_run = ::open(tree.image.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other_run, 0);
  ASSERT_EQ(::flock(other_run, LOCK_EX), 0);

  std::atomic<bool> finished{false};
  Outcome outcome;
  std::thread repairer([&] {
    outcome = repair(tree.image, "/");
    finished = true;
  });
  // Unblocked, the repair of this small image ends in milliseconds; held, it must not start.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(finished.load());
  EXPECT_TRUE(read_file(tree.image) == before) << "the image changed while another run held it";

  ::flock(other_run, LOCK_UN);
  ::close(other_run);
  repairer.join();
  EXPECT_GT(outcome.result, 0);
  EXPECT_FALSE(read_file(tree.image) == before);
}

TEST(Repair, FormatsOneLogLinePerRecord) {
  EXPECT_EQ(format_repair_record({"/a/b c", 0x18, 0x10, "R3"}), "/a/b c: attribute 0x18 -> 0x10 (R3)");
  EXPECT_EQ(format_repair_record({"/x/.", 0x00, 0x10, "R2"}), "/x/.: attribute 0x00 -> 0x10 (R2)");
}

}  // namespace
}  // namespace vornos::fat32
