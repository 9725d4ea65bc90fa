// The mount on images made by mkfs.fat and mtools: what it reads, what it writes (read back with mtools,
// checked with fsck.fat -n), its error codes, a full volume and writes that fail half-way.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "fat32/errors.h"
#include "fat32/le.h"
#include "fat32/mount.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;
using Bytes = std::vector<uint8_t>;

Bytes pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return bytes;
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A volume and the mount on it, for one run.
struct Attached {
  explicit Attached(const std::string& image, bool read_only = false) {
    std::string error;
    volume = Volume::open(image, read_only, error);
    EXPECT_TRUE(volume) << error;
    mount = std::make_unique<Mount>(*volume);
  }
  Bytes read_all(const std::string& path, size_t piece = 700) {
    Node node;
    EXPECT_EQ(mount->lookup(path, node), kOk) << path;
    Bytes all, buffer(piece);
    for (int32_t n; (n = mount->read(node.id, all.size(), buffer)) > 0;) all.insert(all.end(), buffer.begin(), buffer.begin() + n);
    return all;
  }
  int32_t create(const std::string& path, const Bytes& content) {
    Node node;
    if (int32_t rc = mount->open(path, {.write = true, .create = true, .truncate = true}, node); rc != kOk) return rc;
    return mount->write(node.id, 0, content);
  }
  std::unique_ptr<Volume> volume;
  std::unique_ptr<Mount> mount;
};

// What mtools reads at `path` on `image`.
Bytes mtype(const std::string& image, const std::string& path) {
  const std::string out = image + ".out";
  EXPECT_EQ(run("mtype -i " + quote(image) + " " + quote("::" + path) + " >" + quote(out) + " 2>/dev/null"), 0) << path;
  return read_file(out);
}
std::string mdir(const std::string& image, const std::string& path) {
  const std::string out = image + ".dir";
  must_run("mdir -i " + quote(image) + " " + quote("::" + path) + " >" + quote(out));
  const Bytes listing = read_file(out);
  return std::string(listing.begin(), listing.end());
}

bool marked_clean(const std::string& image) {
  auto volume = Volume::open(image, true, *new std::string);
  const Bytes bytes = read_file(image);
  return (load_le32(&bytes[volume->geometry().fat_offset(0) + 4]) & 0x08000000) != 0;
}

void expect_fsck_clean(const std::string& image, const std::string& where = "") {
  std::string report;
  EXPECT_TRUE(fsck_clean(image, &report)) << where << report;
}

TEST(Mount, ReadsWhatMtoolsWrote) {
  const std::string dir = scratch_dir();
  const std::string image = make_image(dir);
  const Bytes big = pattern(5000, 3);  // ten 512-byte clusters
  write_file(dir + "/big", big);
  mtools(image, "mmd ::/Photos");
  mtools(image, "mcopy " + quote(dir + "/big") + " " + quote("::/Photos/Holiday Picture.jpeg"));
  populate(image, {"UPPER.TXT", "lower.txt", "Photos/Mixed Case Name With Spaces.Text"});
  Attached r(image, true);
  const struct { const char* path; Bytes content; } files[] = {
      {"/photos/HOLIDAY PICTURE.JPEG", big},   {"/PHOTOS/HOLIDA~1.JPE", big},
      {"/upper.txt", text("some file content\n")}, {"/Lower.TXT", text("some file content\n")},
      {"//Photos/./../Photos/mixed case name with spaces.text", text("some file content\n")},
  };
  for (const auto& f : files) EXPECT_EQ(r.read_all(f.path), f.content) << f.path;
  Node node;
  ASSERT_EQ(r.mount->lookup("/PHOTOS/holiday picture.jpeg", node), kOk);
  EXPECT_EQ(node.path, "/Photos/Holiday Picture.jpeg");
  EXPECT_EQ(node.size, 5000u);
  Bytes piece(600);
  ASSERT_EQ(r.mount->read(node.id, 4700, piece), 300);  // reads stop at the end, past it read nothing
  EXPECT_TRUE(std::equal(piece.begin(), piece.begin() + 300, big.begin() + 4700));
  EXPECT_EQ(r.mount->read(node.id, 9000, piece), 0);
  ASSERT_EQ(r.mount->lookup("/Photos/", node), kOk);
  EXPECT_TRUE(node.is_directory);
  EXPECT_EQ(r.mount->read(node.id, 0, piece), kIsDirectory);
}

TEST(Mount, WritesWhatMtoolsReadsBack) {
  const std::string image = make_image(scratch_dir());
  populate(image, {"old.txt", "gone.txt", "Empty Dir/"});
  const Bytes big = pattern(70000, 9);
  {
    Attached r(image);
    ASSERT_EQ(r.mount->mkdir("/Docs"), kOk);
    ASSERT_EQ(r.mount->mkdir("/Docs/Sub Dir"), kOk);
    ASSERT_EQ(r.create("/Docs/Read Me.txt", text("hello")), 5);
    Node node;
    ASSERT_EQ(r.mount->open("/docs/read me.TXT", {.write = true}, node), kOk);
    ASSERT_EQ(r.mount->write(node.id, 2000, text("tail")), 4);  // the gap reads as zeros
    ASSERT_EQ(r.mount->write(node.id, 1, text("EL")), 2);
    ASSERT_EQ(r.mount->replace("/Docs/Sub Dir/Big.bin", big), kOk);
    ASSERT_EQ(r.mount->replace("/old.txt", text("replaced")), kOk);
    ASSERT_EQ(r.create("/UPPER.TXT", text("upper")), 5);
    ASSERT_EQ(r.mount->open("/old.txt", {.write = true, .truncate = true}, node), kOk);
    ASSERT_EQ(r.mount->replace("/old.txt", text("once more")), kOk);
    const int32_t stream = r.mount->begin_replace("/Docs/streamed.log");
    ASSERT_GT(stream, 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(r.mount->append(stream, text("line\n")), kOk);
    ASSERT_EQ(r.mount->commit(stream), kOk);
    ASSERT_EQ(r.mount->unlink("/gone.txt"), kOk);
    ASSERT_EQ(r.mount->rmdir("/Empty Dir"), kOk);
    EXPECT_FALSE(marked_clean(image)) << "a run that writes marks the volume dirty";
    ASSERT_EQ(r.mount->detach(), kOk);
  }
  EXPECT_TRUE(marked_clean(image));
  Bytes read_me = text("hELlo");
  read_me.resize(2000, 0);
  for (char c : std::string("tail")) read_me.push_back(static_cast<uint8_t>(c));
  const struct { const char* path; Bytes content; } files[] = {
      {"/Docs/Read Me.txt", read_me}, {"/Docs/Sub Dir/Big.bin", big}, {"/old.txt", text("once more")},
      {"/UPPER.TXT", text("upper")},  {"/Docs/streamed.log", text("line\nline\nline\n")},
  };
  for (const auto& f : files) EXPECT_EQ(mtype(image, f.path), f.content) << f.path;
  const std::string listing = mdir(image, "/Docs");
  char today[16];
  const std::time_t now = std::time(nullptr);
  std::strftime(today, sizeof today, "%Y-%m-%d", std::localtime(&now));
  EXPECT_NE(listing.find("Read Me.txt"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Sub Dir"), std::string::npos) << listing;
  EXPECT_NE(listing.find(today), std::string::npos) << listing;
  const std::string root = mdir(image, "/");
  EXPECT_EQ(root.find("gone"), std::string::npos) << root;
  EXPECT_EQ(root.find("Empty"), std::string::npos) << root;
  EXPECT_NE(root.find("UPPER    TXT         5"), std::string::npos) << root;
  expect_fsck_clean(image);
}

TEST(Mount, GrowsADirectoryWithUniqueAliases) {
  const std::string image = make_image(scratch_dir());
  {
    Attached r(image);
    ASSERT_EQ(r.mount->mkdir("/Many"), kOk);
    for (int i = 1; i <= 300; ++i) {  // four entries each: 75 clusters of 16 entries
      ASSERT_EQ(r.create("/Many/A long file name " + std::to_string(i) + ".txt", text(std::to_string(i))), 1 + (i > 9) + (i > 99));
    }
    const struct { const char* name; const char* alias; } aliases[] = {
        {"a+b c.d.txt", "A_BCD~1.TXT"}, {".bashrc", "BASHRC~1"},  {"Ünïcode.tar.gz", "_N_COD~1.GZ"},
        {"README.TXT", "README.TXT"},   {"read.me.txt", "README~1.TXT"}, {"ReadMe.Txt2", "README~2.TXT"},
    };
    ASSERT_EQ(r.mount->mkdir("/Names"), kOk);
    for (const auto& a : aliases) {
      const std::string path = std::string("/Names/") + a.name;
      if (r.create(path, text("x")) != 1) ADD_FAILURE() << path;
      Node node;
      ASSERT_EQ(r.mount->lookup(std::string("/Names/") + a.alias, node), kOk) << a.alias;
      EXPECT_EQ(node.path, path);
    }
  }
  std::vector<DirEntryInfo> entries;
  Attached r(image, true);
  Node many;
  ASSERT_EQ(r.mount->lookup("/Many", many), kOk);
  ASSERT_EQ(r.volume->list_directory(many.first_cluster, entries), kOk);
  std::set<std::u16string> aliases;
  for (const DirEntryInfo& e : entries) aliases.insert(e.short_name);
  EXPECT_EQ(aliases.size(), 302u);
  EXPECT_TRUE(aliases.contains(u"ALONGF~9.TXT") && aliases.contains(u"ALONG~10.TXT") && aliases.contains(u"ALON~300.TXT"));
  const std::string listing = mdir(image, "/Many");
  EXPECT_NE(listing.find("A long file name 300.txt"), std::string::npos);
  EXPECT_EQ(mtype(image, "/Many/A long file name 277.txt"), text("277"));
  expect_fsck_clean(image);
}

TEST(Mount, RefusalsWriteNothing) {
  const std::string image = make_image(scratch_dir());
  populate(image, {"file.txt", "ro.txt", "Dir/", "Dir/inner.txt", "Empty/"});
  mtools(image, "mattrib +r ::/ro.txt");
  const Bytes before = read_file(image);
  using Call = std::function<int32_t(Mount&)>;
  auto open = [](std::string path, OpenRequest request) {
    return Call([=](Mount& m) { Node n; return m.open(path, request, n); });
  };
  auto look = [](std::string path) { return Call([=](Mount& m) { Node n; return m.lookup(path, n); }); };
  auto mkdir = [](std::string path) { return Call([=](Mount& m) { return m.mkdir(path); }); };
  auto rmdir = [](std::string path) { return Call([=](Mount& m) { return m.rmdir(path); }); };
  auto unlink = [](std::string path) { return Call([=](Mount& m) { return m.unlink(path); }); };
  auto replace = [](std::string path) { return Call([=](Mount& m) { return m.replace(path, text("new")); }); };
  const OpenRequest write{.write = true}, create{.write = true, .create = true};
  const struct { Call call; int32_t expected; } writable[] = {
      {look("/missing"), kNoEntry}, {look("/file.txt/x"), kNotDirectory}, {look("/file.txt/"), kNotDirectory},
      {look("file.txt"), kInvalid}, {look("/" + std::string(256, 'a')), kNameTooLong}, {look("/\xff"), kInvalid},
      {open("/Dir", write), kIsDirectory}, {open("/", write), kIsDirectory}, {open("/RO.TXT", write), kAccess},
      {open("/file.txt", {.create = true, .exclusive = true}), kExists}, {open("/missing", {}), kNoEntry},
      {open("/missing/new", create), kNoEntry}, {open("/new/", create), kIsDirectory},
      {open("/bad?name", create), kInvalid}, {open("/bad\x01", create), kInvalid},
      {open("/trailing dot.", create), kInvalid}, {open("/" + std::string(256, 'b'), create), kNameTooLong},
      {mkdir("/dir"), kExists}, {mkdir("/"), kExists}, {mkdir("/file.txt/x"), kNotDirectory},
      {mkdir("/a:b"), kInvalid}, {rmdir("/Dir"), kNotEmpty}, {rmdir("/"), kBusy},
      {rmdir("/file.txt"), kNotDirectory}, {rmdir("/Empty/."), kInvalid}, {rmdir("/missing"), kNoEntry},
      {unlink("/Dir"), kIsDirectory}, {unlink("/"), kIsDirectory}, {unlink("/missing"), kNoEntry},
      {replace("/Dir"), kIsDirectory}, {replace("/ro.txt"), kAccess}, {replace("/x/y"), kNoEntry},
      {replace("/a*b"), kInvalid},
      {[](Mount& m) { Node n; m.lookup("/file.txt", n); return m.write(n.id, 0xFFFFFFFE, text("ab")); }, kFileTooBig},
      {[](Mount& m) { return m.append(99, text("x")); }, kBadHandle},
      {[](Mount& m) { return m.commit(99); }, kBadHandle},
  };
  const struct { Call call; int32_t expected; } read_only[] = {
      {open("/file.txt", write), kReadOnly}, {open("/new", create), kReadOnly}, {mkdir("/new"), kReadOnly},
      {rmdir("/Empty"), kReadOnly}, {unlink("/file.txt"), kReadOnly}, {replace("/file.txt"), kReadOnly},
      {[](Mount& m) { Node n; m.lookup("/file.txt", n); return m.write(n.id, 0, text("ab")); }, kReadOnly},
  };
  {
    Attached r(image);
    for (size_t i = 0; i < std::size(writable); ++i) EXPECT_EQ(writable[i].call(*r.mount), writable[i].expected) << "row " << i;
  }
  Attached r(image, true);
  for (size_t i = 0; i < std::size(read_only); ++i) EXPECT_EQ(read_only[i].call(*r.mount), read_only[i].expected) << "row " << i;
  EXPECT_TRUE(read_file(image) == before);
}

uint32_t free_clusters(const std::string& image) {
  const Bytes bytes = read_file(image);
  return load_le32(&bytes[512 + 488]);  // FSInfo of mkfs.fat's images: sector 1
}

TEST(Mount, FullVolumeRefusesAndKeepsTheOldFile) {
  const std::string image = make_image(scratch_dir());
  const Bytes old = pattern(3000, 1);
  Attached r(image);
  ASSERT_EQ(r.mount->replace("/old.txt", old), kOk);
  const uint32_t free = free_clusters(image);
  ASSERT_EQ(r.mount->replace("/old.txt", pattern(size_t{free} * 512 + 1, 2)), kNoSpace);
  EXPECT_EQ(free_clusters(image), free);
  ASSERT_EQ(r.mount->replace("/fill", pattern(size_t{free} * 512, 3)), kOk);
  EXPECT_EQ(free_clusters(image), 0u);
  Node node;
  ASSERT_EQ(r.mount->lookup("/old.txt", node), kOk);
  EXPECT_EQ(r.mount->write(node.id, 3072, text("x")), kNoSpace);
  EXPECT_EQ(r.mount->replace("/old.txt", text("y")), kNoSpace);
  EXPECT_EQ(r.mount->mkdir("/more"), kNoSpace);
  EXPECT_EQ(r.read_all("/old.txt"), old);
  ASSERT_EQ(r.mount->unlink("/fill"), kOk);
  EXPECT_EQ(free_clusters(image), free);
  ASSERT_EQ(r.mount->detach(), kOk);
  EXPECT_EQ(mtype(image, "/old.txt"), old);
  expect_fsck_clean(image);
}

// Each case fails each of its writes in turn, once (a passing error) and for good (a dead disk): the
// call either fails with the old state intact or succeeds with the new one; fsck.fat finds nothing,
// or the volume is left marked for checking.
TEST(Mount, AFailingWriteLeavesTheOldOrTheNewState) {
  const std::string dir = scratch_dir();
  const std::string base = make_image(dir, "base.img");
  populate(base, {"Full/"});
  for (int i = 0; i < 13; ++i) populate(base, {"Full/f" + std::to_string(i)});  // 2 + 13 entries of 16
  const Bytes old = pattern(3000, 4), grown = pattern(5000, 5), appended(grown.begin() + 3000, grown.end());
  Bytes grown_file = old;
  grown_file.insert(grown_file.end(), appended.begin(), appended.end());
  {
    Attached r(base);
    ASSERT_EQ(r.mount->replace("/file", old), kOk);
  }
  const struct {
    const char* what;
    std::function<int32_t(Mount&)> call;
    std::function<bool(Attached&)> is_new, is_old;
  } cases[] = {
      {"replace", [&](Mount& m) { return m.replace("/file", grown); },
       [&](Attached& r) { return r.read_all("/file") == grown; }, [&](Attached& r) { return r.read_all("/file") == old; }},
      {"write", [&](Mount& m) { Node n; m.lookup("/file", n); const int32_t w = m.write(n.id, 3000, appended); return w == 2000 ? kOk : w; },
       [&](Attached& r) { return r.read_all("/file") == grown_file; }, [&](Attached& r) { return r.read_all("/file") == old; }},
      {"mkdir", [](Mount& m) { return m.mkdir("/New Directory"); },
       [](Attached& r) { Node n; return r.mount->lookup("/New Directory/.", n) == kOk; },
       [](Attached& r) { Node n; return r.mount->lookup("/New Directory", n) == kNoEntry; }},
      {"create in a full directory", [](Mount& m) { Node n; return m.open("/Full/Another long name", {.write = true, .create = true}, n); },
       [](Attached& r) { Node n; return r.mount->lookup("/full/another long name", n) == kOk; },
       [](Attached& r) { Node n; return r.mount->lookup("/full/another long name", n) == kNoEntry; }},
  };
  const std::string image = dir + "/work.img";
  for (const auto& c : cases) {
    copy_file(base, image);
    uint64_t writes = 0;
    {
      Attached r(image);
      const uint64_t before = r.volume->io_stats().writes;
      ASSERT_EQ(c.call(*r.mount), kOk) << c.what;
      writes = r.volume->io_stats().writes - before;
    }
    for (uint64_t nth = 1; nth <= writes; ++nth) {
      for (bool persistent : {false, true}) {
        if (persistent && &c != &cases[0]) continue;  // a dead disk once is enough
        copy_file(base, image);
        int32_t result;
        {
          Attached r(image);
          r.mount->inject_write_fault(nth, persistent);
          result = c.call(*r.mount);
        }
        Attached after(image, true);
        const std::string where = std::string(c.what) + ", write " + std::to_string(nth) + (persistent ? " and on" : "");
        EXPECT_TRUE(result == kOk ? c.is_new(after) : result == kIoError && c.is_old(after)) << where << ": " << result;
        if (!persistent) expect_fsck_clean(image, where);
        if (persistent && !fsck_clean(image)) EXPECT_FALSE(marked_clean(image)) << where;
      }
    }
  }
}

}  // namespace
}  // namespace vornos::fat32
