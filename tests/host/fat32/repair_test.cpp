// The repair on images made by mkfs.fat and mtools: each rule with exactly its bytes changed, the damage
// it must leave alone, the volumes it must not trust, paths, reads and writes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "fat32/cache_warmer.h"
#include "fat32/errors.h"
#include "fat32/le.h"
#include "fat32/repair_walk.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;

void set_attr(const std::string& image, uint64_t entry, uint8_t value) { poke(image, entry + kAttrOffset, {value}); }

std::map<std::string, std::string> rules_of(const Outcome& outcome) {
  std::map<std::string, std::string> rules;
  for (const RepairRecord& r : outcome.records) rules[r.path] = r.rules;
  return rules;
}

// Damages one entry per rule, and near cases the rules must leave alone; returns the rule of each
// repaired path and the bytes the repair must change.
std::map<std::string, std::string> damage_every_rule(const std::string& image, std::vector<ByteChange>& expected) {
  struct Damage { std::string path; int dot; unsigned slot; uint8_t bits; const char* rule; };
  const Damage damages[] = {
      {"/Docs/archive.zip", -1, 0, 0x40, nullptr},           // reserved bit on a file: left
      {"/Photos", 0, 0, 0x01, nullptr},                      // read-only "." : left
      {"/Docs/Letters", 0, 0, 0x10, "R2"},                   // "." without 0x10
      {"/src/project/lib", 1, 0, 0x08, "R2"},                // ".." with the label bit
      {"/src/project", -1, 0, 0x08, "R3"},
      {"/Docs/notes.txt", -1, 0, 0x08, "R4"},
      {"/src/project/lib/util.c", -1, 0, 0x08, "R4"},
      {"/Docs/playlist.m3u", -1, 0, 0x10, "R5"},
      {"/Docs/empty.txt", -1, 0, 0x10, "R5"},
      {"/Photos/Summer Trip/Beach Day Photo.jpg", -1, 1, 0x40, "R1"},  // stray bit on the slot next to it
      {"/Docs/Letters/Letter to Alice.txt", -1, 2, 0x20, "R1"},      // 0x2F on the flagged slot
  };
  std::map<std::string, std::string> rules;
  for (const Damage& d : damages) {
    const uint64_t at = entry_offset(image, d.path, d.dot, d.slot) + kAttrOffset;
    const uint8_t before = read_file(image).at(at);
    poke(image, at, {static_cast<uint8_t>(before ^ d.bits)});
    if (d.rule == nullptr) continue;
    rules[d.path + (d.dot == 0 ? "/." : d.dot == 1 ? "/.." : "")] = d.rule;
    expected.push_back({at, static_cast<uint8_t>(before ^ d.bits), before});
  }
  std::sort(expected.begin(), expected.end(), [](auto& a, auto& b) { return a.offset < b.offset; });
  return rules;
}

bool is_state_byte(const Geometry& g, uint64_t offset) {  // FAT[1] of a copy, where the dirty mark lives
  for (uint32_t copy = 0; copy < g.fat_count; ++copy) {
    if (offset >= g.fat_offset(copy) + 4 && offset < g.fat_offset(copy) + 8) return true;
  }
  return false;
}

// Then a power cut after each of the repair's writes, and after any of the writes since its last barrier
// reached a disk that reorders them: each entry is its old or its new self, fsck.fat finds nothing but
// what a cut may leave, and a rerun finishes the job. While it writes, the repair
// holds the image against other runs.
TEST(Repair, RepairsEachRuleAndNothingElseAndSurvivesAPowerCut) {
  const std::string image = make_tree(), other_run = "flock -n " + quote(image) + " true";
  std::vector<ByteChange> expected;
  const std::map<std::string, std::string> rules = damage_every_rule(image, expected);
  const std::vector<uint8_t> damaged = read_file(image);
  const std::vector<std::string> known = fsck(image);
  EXPECT_NE(known, kNoProblems);
  for (bool read_only : {true, false}) {  // a dry run reports the same and writes nothing
    EXPECT_EQ(rules_of(repair(image, "/", read_only, true)), rules);
    EXPECT_EQ(read_file(image), damaged);
  }
  EXPECT_EQ(repair(image, "/", true).result, kReadOnly);
  EXPECT_EQ(repair(image, "/SRC/project/lib/..", true, true).result, 2) << "the walk stays below its path";
  WriteLog log;
  const Outcome first = repair(
      image, "/", false, false,
      [&](uint64_t at, std::span<const uint8_t> data) {
        EXPECT_EQ(run(other_run), 1) << "write " << log.writes.size();
        log.add_write(at, data);
      },
      [&] { log.add_barrier(); });
  EXPECT_EQ(first.result, static_cast<int32_t>(rules.size()));
  EXPECT_EQ(rules_of(first), rules);
  EXPECT_EQ(changed_bytes(damaged, read_file(image)), expected);  // FAT[1] back to clean as well
  std::set<uint64_t> sectors;
  for (const ByteChange& c : expected) sectors.insert(c.offset / 512);
  // Dirty marks in both FATs, each changed sector once, clean marks; durable after each step.
  EXPECT_EQ(first.io.writes, 2 + sectors.size() + 2);
  EXPECT_EQ(first.io.syncs, 3u);
  EXPECT_EQ(log.barriers, (std::vector<size_t>{2, 2 + sectors.size(), 4 + sectors.size()}));
  EXPECT_EQ(fsck(image), kNoProblems);
  const std::vector<uint8_t> repaired = read_file(image);
  const Geometry g = geometry_of(image);
  auto judge = [&](const std::string& where) {
    for (const ByteChange& c : changed_bytes(damaged, read_file(image))) {
      EXPECT_TRUE(is_state_byte(g, c.offset) || repaired[c.offset] == c.after) << where << " byte " << c.offset;
    }
    EXPECT_EQ(worse_than_a_cut(image, known), kNoProblems) << where;
    EXPECT_GE(repair(image).result, 0) << where;
    for (const ByteChange& c : changed_bytes(repaired, read_file(image))) {
      EXPECT_TRUE(is_state_byte(g, c.offset)) << where << ": the rerun left byte " << c.offset;
    }
  };
  for (size_t cut = 0; cut <= log.writes.size(); ++cut) {
    poke(image, 0, damaged);
    log.replay(image, cut);
    judge("cut " + std::to_string(cut));
  }
  const std::vector<std::vector<size_t>> reordered = log.reordered_states();
  for (const std::vector<size_t>& state : reordered) {
    poke(image, 0, damaged);
    log.replay(image, state);
    judge("reordered writes " + testing::PrintToString(state));
  }
  std::printf("%zu writes, %zu cut points and %zu reordered states checked\n", log.writes.size(),
              log.writes.size() + 1, reordered.size());
}

uint32_t first_cluster(const std::string& image, const std::string& path) {
  const std::vector<uint8_t> bytes = read_file(image);
  return uint32_t{load_le16(&bytes[entry_offset(image, path) + 20])} << 16 | load_le16(&bytes[entry_offset(image, path) + 26]);
}

TEST(Repair, LeavesAloneWhatItCannotTrust) {
  const std::string image = make_tree();
  const std::vector<uint8_t> pristine = read_file(image);
  const Geometry g = geometry_of(image);
  const uint32_t big = load_le32(&pristine[g.fat_offset(0) + 4 * first_cluster(image, "/Big")]);  // /Big's second cluster
  const uint64_t slot = entry_offset(image, "/Big/A Long File Name 7.txt", -1, 1);
  const uint64_t dot = entry_offset(image, "/Docs", 0);
  const uint32_t file = first_cluster(image, "/a.txt");
  uint32_t big_last = first_cluster(image, "/Big");
  for (uint32_t next; (next = load_le32(&pristine[g.fat_offset(0) + 4 * big_last])) < kFatEndOfChain;) big_last = next;
  auto hide_notes = [&] { set_attr(image, entry_offset(image, "/Docs/notes.txt"), 0x28); };  // R4 would clear 0x08
  const struct { const char* what; std::function<void()> damage; const char* path; int32_t result; const char* problem; } cases[] = {
      {"a middle link of /Big into the root", [&] { set_fat(image, big, g.root_cluster, {0, 1}); }, "/Big", kIoError,
       "belongs to a directory"},
      {"/Big's chain into a file", [&] { set_fat(image, big, file, {0, 1}); }, "/", kIoError, "starts in directory cluster"},
      {"/Big's chain into /Photos", [&] { set_fat(image, big, first_cluster(image, "/Photos"), {0, 1}); },
       "/Big", kIoError, "start of another directory"},
      {"root cluster field into a file", [&] { poke(image, 44, {static_cast<uint8_t>(file)}); }, "/", kIoError,
       "backup boot sector"},
      {"a label bit beside a control character in a name",
       [&] { set_attr(image, entry_offset(image, "/Docs/notes.txt"), 0x28); poke(image, entry_offset(image, "/a.txt") + 1, {0x01}); },
       "/", kIoError, "control character"},
      {"/Big's last link back to its first cluster, beside a file hidden as a label",
       [&] { set_fat(image, big_last, first_cluster(image, "/Big"), {0, 1}); hide_notes(); }, "/", kIoError,
       "/Big: its chain loops back to its cluster"},
      {"/Docs's last link into /Photos, beside a file hidden as a label",
       [&] { set_fat(image, first_cluster(image, "/Docs"), first_cluster(image, "/Photos"), {0, 1}); hide_notes(); },
       "/", kIoError, "which belongs to a directory"},
      {"a bit of the start cluster of a \".\"", [&] { poke(image, dot + 26, {static_cast<uint8_t>(pristine[dot + 26] ^ 4)}); },
       "/", 0, ""},
      {"a blank label (eleven spaces)", [&] { poke(image, g.cluster_offset(g.root_cluster), std::vector<uint8_t>(11, ' ')); },
       "/", 0, ""},
      {"the label's start cluster 0 -> 1", [&] { poke(image, g.cluster_offset(g.root_cluster) + 26, {1}); }, "/", 0, ""},
      {"a label bit on an empty file", [&] { set_attr(image, entry_offset(image, "/Docs/empty.txt"), 0x28); }, "/", 0, ""},
      {"a slot's 0x40 bit without its sequence",
       [&] { set_attr(image, slot, 0x4F); poke(image, slot + 13, {0}); }, "/", 0, ""},
  };
  for (const auto& c : cases) {
    poke(image, 0, pristine);
    c.damage();
    const std::vector<uint8_t> damaged = read_file(image);
    const Outcome outcome = repair(image, c.path);
    EXPECT_EQ(outcome.result, c.result) << c.what;
    if (*c.problem) EXPECT_NE(outcome.problem.find(c.problem), std::string::npos) << c.what << ": " << outcome.problem;
    EXPECT_EQ(read_file(image), damaged) << c.what;
  }
}

// The bytes the cache warmer reads from the directory starting at `start` (the FAT's chunks read by a run
// before), and whether it says it read all.
std::pair<uint64_t, bool> warm(const std::string& image, uint32_t start, size_t max_depth = RepairWalk::kMaxDepth) {
  std::string error;
  const std::unique_ptr<Volume> volume = Volume::open(image, true, error);
  EXPECT_TRUE(volume) << error;
  if (!volume) return {};
  warm_directory_tree(*volume, start, max_depth + 1);
  const uint64_t before = volume->io_stats().bytes_read;
  const bool complete = warm_directory_tree(*volume, start, max_depth);
  return {volume->io_stats().bytes_read - before, complete};
}

TEST(CacheWarmer, ReadsEachClusterOnceWhereverChainsAndEntriesLead) {
  const std::string image = make_tree();
  const std::vector<uint8_t> pristine = read_file(image);
  const Geometry g = geometry_of(image);
  const uint32_t root = g.root_cluster, big = first_cluster(image, "/Big");
  uint32_t big_last = big, big_clusters = 1;  // mtools spreads /Big's 40 names over several clusters
  for (uint32_t next; (next = load_le32(&pristine[g.fat_offset(0) + 4 * big_last])) < kFatEndOfChain; big_last = next) ++big_clusters;
  const uint64_t lib = entry_offset(image, "/src/project/lib");
  const uint32_t src = first_cluster(image, "/src");
  // The root and the seven directories besides /Big are one cluster each; /Big's first is full of entries.
  const struct { const char* what; std::function<void()> damage; uint32_t start, clusters; } cases[] = {
      {"the tree as made", [] {}, root, 8 + big_clusters},
      {"/src/project/lib names /src", [&] { poke(image, lib + 26, {uint8_t(src), uint8_t(src >> 8)}); }, root, 7 + big_clusters},
      {"/Big's first link into /Photos", [&] { set_fat(image, big, first_cluster(image, "/Photos"), {0, 1}); }, root, 9},
      {"/Big's first link back to itself", [&] { set_fat(image, big, big, {0, 1}); }, root, 9},
      {"/Big's first link into the root, from /Big", [&] { set_fat(image, big, root, {0, 1}); }, big, 1},
  };
  for (const auto& c : cases) {
    poke(image, 0, pristine);
    c.damage();
    EXPECT_EQ(warm(image, c.start), std::make_pair(uint64_t{c.clusters} * g.cluster_bytes, true)) << c.what;
  }
}

// A chain of `depth` directories "D", each inside the one before, written straight into an empty image.
void write_directory_chain(const std::string& image, uint32_t depth) {
  const Geometry g = geometry_of(image);
  std::vector<uint8_t> bytes = read_file(image);
  auto put = [&](uint32_t cluster, uint32_t slot, const char* name, uint32_t target) {
    uint8_t* e = &bytes[g.cluster_offset(cluster) + slot * kDirEntrySize];
    std::memcpy(e, name, kShortNameSize);
    e[kAttrOffset] = attr::kDirectory;
    store_le16(e + 20, static_cast<uint16_t>(target >> 16));
    store_le16(e + 26, static_cast<uint16_t>(target));
  };
  for (uint32_t level = 0, parent = g.root_cluster; level < depth; ++level) {
    const uint32_t cluster = g.root_cluster + 1 + level;
    put(parent, parent == g.root_cluster ? 0 : 2, "D          ", cluster);
    put(cluster, 0, ".          ", cluster);
    put(cluster, 1, "..         ", parent == g.root_cluster ? 0 : parent);
    for (uint32_t copy = 0; copy < g.fat_count; ++copy) store_le32(&bytes[g.fat_offset(copy) + 4 * cluster], 0x0FFFFFFF);
    parent = cluster;
  }
  poke(image, 0, bytes);
}

TEST(Repair, DeepTreesWalkUpToTheDepthLimit) {
  const std::string image = make_image();
  write_directory_chain(image, RepairWalk::kMaxDepth);  // with the root: one level more than the limit
  const Outcome outcome = repair(image);
  EXPECT_EQ(outcome.result, kIoError);
  EXPECT_NE(outcome.problem.find("deeper than 4096 levels"), std::string::npos) << outcome.problem;
  EXPECT_EQ(repair(image, "/D").result, 0) << "the limit counts from where the walk starts";
  // The warmer reads as deep as the walk goes (one cluster a level), and says that it stopped short.
  EXPECT_EQ(warm(image, geometry_of(image).root_cluster), std::make_pair(uint64_t{RepairWalk::kMaxDepth} * 512, false));
}

}  // namespace
}  // namespace vornos::fat32
