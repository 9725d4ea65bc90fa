// The file calls' directory indexes, kept true through random sequences of create, replace, unlink, mkdir
// and rmdir against a model, in one run (the indexes live as long as the run) and judged afterwards by a
// run without them, by mtools and by fsck.fat -n.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <random>

#include "fat32/directory_cache.h"
#include "fat32/errors.h"
#include "fat32/le.h"
#include "fat32/mount.h"
#include "mounted.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;

std::string folded(std::string path) {
  for (char& c : path) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return path;
}

// What the volume should hold: by path folded to upper case, the path as stored and, for a file, its content.
struct Model {
  struct Node {
    std::string path;
    bool directory = false;
    Bytes content;
  };
  std::map<std::string, Node> nodes;

  const Node* find(const std::string& path) const {
    const auto it = nodes.find(folded(path));
    return it == nodes.end() ? nullptr : &it->second;
  }
  // What the path's directories answer: kOk, kNoEntry (one is missing) or kNotDirectory (one is a file).
  int32_t parent_error(const std::string& path) const {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
      const Node* node = find(path.substr(0, slash));
      if (node == nullptr) return kNoEntry;
      if (!node->directory) return kNotDirectory;
    }
    return kOk;
  }
  bool has_children(const std::string& path) const {
    const std::string prefix = folded(path) + "/";
    const auto it = nodes.lower_bound(prefix);
    return it != nodes.end() && it->first.starts_with(prefix);
  }
};

TEST(DirectoryIndex, StaysTrueThroughRandomChangesAgainstAModel) {
  const std::string image = make_image();
  // Entries mtools made, beside the run's own.
  populate(image, {"Seed/", "Seed/Mixed Case Name.txt", "Seed/PLAIN.TXT"});
  Model model;
  model.nodes[folded("/Seed")] = {"/Seed", true, {}};
  for (const char* name : {"/Seed/Mixed Case Name.txt", "/Seed/PLAIN.TXT"}) model.nodes[folded(name)] = {name, false, text("some file content\n")};

  // More directories than the run keeps indexed at once; names that share aliases, differ only in case,
  // fit 8.3 or need long-name slots of up to 200 characters.
  std::vector<std::string> directories = {"/Seed", "/Photos"};
  for (size_t i = 0; directories.size() < DirectoryCache::kMaxDirectories + 4; ++i) {
    directories.push_back("/Dir " + std::to_string(i));
  }
  directories.push_back("/Photos/Trip");
  std::vector<std::string> names = {"Mixed Case Name.txt", "mixed case NAME.TXT", "PLAIN.TXT", "plain.txt", "A.B",
                                    "x", std::string(200, 'L') + ".log", "Trip"};
  for (int i = 0; i < 24; ++i) names.push_back("Photo 2026-12-07 " + std::to_string(i) + ".jpg");

  std::mt19937 random(27);
  auto pick = [&](const auto& from) { return from[random() % from.size()]; };
  Attached r(image);
  for (const std::string& directory : directories) {
    ASSERT_EQ(r.mount->mkdir(directory), model.find(directory) ? kExists : kOk) << directory;
    model.nodes[folded(directory)] = {directory, true, {}};
  }
  for (int step = 0; step < 1500; ++step) {
    const std::string directory = pick(directories);
    const bool on_directory = random() % 16 == 0;
    const std::string path = on_directory ? directory : directory + "/" + pick(names);
    const Model::Node* existing = model.find(path);
    const int32_t parent = model.parent_error(path);
    const std::string where = "step " + std::to_string(step) + ": " + path;
    switch (random() % 6) {
      case 0:
      case 1: {  // replace, or create through open and write
        const Bytes content = pattern(random() % 1500, static_cast<uint8_t>(step));
        int32_t rc = random() % 2 == 0 ? r.create(path, content) : r.mount->replace(path, content);
        if (rc == static_cast<int32_t>(content.size())) rc = kOk;  // the bytes the create wrote
        const int32_t expected = parent != kOk ? parent : existing != nullptr && existing->directory ? kIsDirectory : kOk;
        ASSERT_EQ(rc, expected) << where;
        if (rc == kOk) model.nodes[folded(path)] = {existing != nullptr ? existing->path : path, false, content};
        break;
      }
      case 2: {
        const int32_t expected = parent != kOk ? parent : existing == nullptr ? kNoEntry : existing->directory ? kIsDirectory : kOk;
        ASSERT_EQ(r.mount->unlink(path), expected) << where;
        if (expected == kOk) model.nodes.erase(folded(path));
        break;
      }
      case 3: {
        const int32_t expected = parent != kOk ? parent : existing != nullptr ? kExists : kOk;
        ASSERT_EQ(r.mount->mkdir(path), expected) << where;
        if (expected == kOk) model.nodes[folded(path)] = {path, true, {}};
        break;
      }
      case 4: {
        const int32_t expected = parent != kOk ? parent : existing == nullptr ? kNoEntry
                                 : !existing->directory ? kNotDirectory
                                 : model.has_children(path) ? kNotEmpty : kOk;
        ASSERT_EQ(r.mount->rmdir(path), expected) << where;
        if (expected == kOk) model.nodes.erase(folded(path));
        break;
      }
      default: {  // a lookup, in another case than stored
        Node node;
        const int32_t rc = r.mount->lookup(folded(path), node);
        ASSERT_EQ(rc, parent != kOk ? parent : existing != nullptr ? kOk : kNoEntry) << where;
        if (existing != nullptr) {
          EXPECT_EQ(node.path, existing->path) << where;
          EXPECT_EQ(node.is_directory, existing->directory) << where;
          if (!existing->directory) EXPECT_EQ(r.read_all(path), existing->content) << where;
        }
      }
    }
  }
  ASSERT_EQ(r.mount->detach(), kOk);
  r.close();

  // A run without indexes, and mtools, find what the model holds, and fsck.fat finds nothing wrong.
  Attached fresh(image, true);
  size_t files = 0;
  for (const auto& [key, node] : model.nodes) {
    Node found;
    ASSERT_EQ(fresh.mount->lookup(node.path, found), kOk) << node.path;
    EXPECT_EQ(found.path, node.path);
    if (node.directory) continue;
    EXPECT_EQ(fresh.read_all(node.path), node.content) << node.path;
    if (++files % 5 == 0) EXPECT_EQ(text(mtools_output("mtype", image, node.path)), node.content) << node.path;
  }
  size_t directories_left = 0;
  for (const std::string& directory : directories) {
    const Model::Node* node = model.find(directory);
    if (node == nullptr || !node->directory) continue;
    ++directories_left;
    size_t children = 0;
    const std::string prefix = folded(directory) + "/";
    for (const auto& [key, child] : model.nodes) children += key.starts_with(prefix) && key.find('/', prefix.size()) == std::string::npos;
    const std::string listing = mtools_output("mdir", image, directory);
    EXPECT_NE(listing.find(" " + std::to_string(children + 2) + " file"), std::string::npos) << directory << "\n" << listing;
  }
  EXPECT_GT(files, 40u) << "the sequence should leave many files";
  EXPECT_GT(directories_left, DirectoryCache::kMaxDirectories) << "more directories than the run keeps indexed";
  EXPECT_EQ(fsck(image), kNoProblems);
}

// The alias of a new long name is the lowest ~N free, also after an alias was freed in the same run and
// after the run's index skipped the tails it knew to be taken.
TEST(DirectoryIndex, AliasesTakeTheLowestFreeTail) {
  const std::string image = make_image();
  Attached r(image);
  ASSERT_EQ(r.mount->mkdir("/D"), kOk);
  auto name = [](int n) { return "/D/Photo 2026-12-07 " + std::to_string(n) + ".jpg"; };
  for (int n = 1; n <= 12; ++n) ASSERT_EQ(r.mount->replace(name(n), text("x")), kOk);
  ASSERT_EQ(r.mount->unlink(name(2)), kOk);
  ASSERT_EQ(r.mount->unlink(name(10)), kOk);
  const struct { int made; const char* alias; } rows[] = {{13, "PHOTO2~2.JPG"}, {14, "PHOTO~10.JPG"}, {15, "PHOTO~13.JPG"}};
  for (const auto& row : rows) {
    ASSERT_EQ(r.mount->replace(name(row.made), text("y")), kOk);
    Node node;
    EXPECT_EQ(r.mount->lookup(std::string("/D/") + row.alias, node) == kOk ? node.path : row.alias, name(row.made));
  }
  r.close();
  EXPECT_EQ(fsck(image), kNoProblems);
}

// A directory's chain longer than any directory may be (2 MiB) is damage: the file calls answer -5 and
// say why, rather than read it whole into memory; a listing too, when no end mark comes before.
TEST(DirectoryIndex, ADirectoryLongerThanTwoMegabytesIsRefused) {
  const std::string image = make_image();
  populate(image, {"D/", "ok.txt"});
  const Geometry g = geometry_of(image);
  const Bytes bytes = read_file(image);
  const uint64_t entry = entry_offset(image, "/D");
  const uint32_t first = uint32_t{load_le16(&bytes[entry + 20])} << 16 | load_le16(&bytes[entry + 26]);
  constexpr uint32_t kFrom = 30000;
  const uint32_t added = (2u << 20) / g.cluster_bytes;  // with the first: one cluster too many
  Bytes links(4 * size_t{added});
  for (uint32_t i = 0; i < added; ++i) store_le32(&links[4 * i], i + 1 < added ? kFrom + i + 1 : 0x0FFFFFFF);
  for (uint32_t copy = 0; copy < g.fat_count; ++copy) {
    poke(image, g.fat_offset(copy) + 4 * uint64_t{kFrom}, links);
    set_fat(image, first, kFrom, {copy});
  }
  Bytes deleted(size_t{added} * g.cluster_bytes, 0);
  for (size_t at = 0; at < deleted.size(); at += 32) deleted[at] = 0xE5;
  poke(image, g.cluster_offset(first) + 64, Bytes(deleted.begin(), deleted.begin() + g.cluster_bytes - 64));
  poke(image, g.cluster_offset(kFrom), deleted);
  Attached r(image);
  Node node;
  ASSERT_EQ(r.mount->lookup("/D", node), kOk);
  std::vector<DirEntryInfo> entries;
  EXPECT_EQ(r.mount->list_directory(node.id, entries), kIoError);
  EXPECT_NE(r.mount->problem().find("longer than 2 MiB"), std::string::npos) << r.mount->problem();
  EXPECT_EQ(r.mount->lookup("/D/x", node), kIoError);
  EXPECT_NE(r.mount->problem().find("longer than 2 MiB"), std::string::npos) << r.mount->problem();
  EXPECT_EQ(r.mount->replace("/D/x", text("x")), kIoError);
  EXPECT_EQ(r.mount->lookup("/ok.txt", node), kOk) << "the rest of the volume stays usable";
}

}  // namespace
}  // namespace vornos::fat32
