// The mount on images made by mkfs.fat and mtools: what it reads, what it writes (read back with mtools,
// checked with fsck.fat -n), its error codes and writes that fail half-way. A write past the
// host's file size limit is the end-to-end tests' (the runner's handling of SIGXFSZ is seen only there).
#include <gtest/gtest.h>
#include <functional>

#include "fat32/errors.h"
#include "fat32/le.h"
#include "fat32/mount.h"
#include "mounted.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;
using namespace std::string_literals;

bool marked_clean(const std::string& image) {
  const Bytes bytes = read_file(image);
  return (load_le32(&bytes[load_le16(&bytes[14]) * 512 + 4]) & 0x08000000) != 0;  // FAT[1] of the first FAT
}

// Also: the run holds the image against other runs, and a repair inside it keeps that hold and its dirty
// mark; a directory grows by many clusters with unique aliases, each name whole in one sector.
TEST(Mount, WritesWhatMtoolsReadsBack) {
  const std::string image = make_image(), other_run = "flock -n " + quote(image) + " true";
  populate(image, {"old.txt", "gone.txt", "Empty Dir/", "Dir/", "Dir/Long File Name.txt"});
  poke(image, entry_offset(image, "/Dir/Long File Name.txt", -1, 1) + kAttrOffset, {0x4F});  // a slot's 0x0F made 0x4F
  const Bytes big = pattern(70000, 9);
  const struct { const char* name; const char* alias; } aliases[] = {
      {"a+b c.d.txt", "A_BCD~1.TXT"}, {".bashrc", "BASHRC~1"}, {"README.TXT", "README.TXT"},
      {"read.me.txt", "README~1.TXT"}, {"ReadMe.Txt2", "README~2.TXT"}, {"Upper.txt", "UPPER~1.TXT"},
  };
  {
    Attached r(image);
    EXPECT_EQ(run(other_run), 1);
    ASSERT_EQ(r.mount->mkdir("/Docs"), kOk);
    ASSERT_EQ(r.mount->mkdir("/Docs/Sub Dir"), kOk);
    ASSERT_EQ(r.create("/Docs/Read Me.txt", text("hello")), 5);
    Node node;
    ASSERT_EQ(r.mount->open("/docs/read me.TXT", {.write = true}, node), kOk);
    ASSERT_EQ(r.mount->write(node.id, 2000, text("tail")), 4);  // the gap reads as zeros
    ASSERT_EQ(r.mount->write(node.id, 1, text("EL")), 2);
    ASSERT_EQ(r.mount->replace("/Docs/Sub Dir/Big.bin", big), kOk);
    ASSERT_EQ(r.mount->replace("/old.txt", text("replaced, longer")), kOk);
    ASSERT_EQ(r.create("/UPPER.TXT", text("upper")), 5);
    ASSERT_EQ(r.create("/old.txt", text("once more")), 9);  // truncates first
    const int32_t stream = r.mount->begin_replace("/Docs/streamed.log");
    for (int i = 0; i < 3; ++i) ASSERT_EQ(r.mount->append(stream, text("line\n")), kOk);
    ASSERT_EQ(r.mount->commit(stream), kOk);
    EXPECT_EQ(r.mount->append(r.mount->begin_replace("/old.txt"), big), kOk);  // never committed: dropped
    ASSERT_EQ(r.mount->unlink("/gone.txt"), kOk);
    ASSERT_EQ(r.mount->rmdir("/Empty Dir"), kOk);
    ASSERT_EQ(r.mount->mkdir("/Many"), kOk);
    for (int i = 1; i <= 300; ++i) {  // three entries each: dozens of clusters
      ASSERT_EQ(r.create("/Many/A long file name " + std::to_string(i) + ".txt", text(std::to_string(i))), std::ssize(std::to_string(i)));
    }
    for (const auto& [i, alias] : {std::pair{9, "ALONGF~9.TXT"}, {10, "ALONG~10.TXT"}, {300, "ALON~300.TXT"}}) {
      EXPECT_EQ(r.mount->lookup("/Many/"s + alias, node) == kOk ? node.path : alias,
                "/Many/A long file name " + std::to_string(i) + ".txt");
    }
    ASSERT_EQ(r.mount->mkdir("/Names"), kOk);
    for (const auto& a : aliases) {
      EXPECT_EQ(r.create("/Names/"s + a.name, text("x")), 1) << a.name;
      EXPECT_EQ(r.mount->lookup("/Names/"s + a.alias, node) == kOk ? node.path : a.alias, "/Names/"s + a.name);
    }
    EXPECT_EQ(r.mount->repair("/", {}), 1);
    EXPECT_FALSE(marked_clean(image)) << "a run that writes stays marked dirty, through a repair too";
    EXPECT_EQ(run(other_run), 1) << "the repair dropped the run's hold";
    ASSERT_EQ(r.mount->detach(), kOk);
  }
  EXPECT_TRUE(marked_clean(image));
  EXPECT_EQ(run(other_run), 0);
  const Bytes read_me = text("hELlo" + std::string(1995, '\0') + "tail");
  const struct { const char* path; Bytes content; } files[] = {
      {"/Docs/Read Me.txt", read_me}, {"/Docs/Sub Dir/Big.bin", big}, {"/old.txt", text("once more")},
      {"/UPPER.TXT", text("upper")},  {"/Docs/streamed.log", text("line\nline\nline\n")},
      {"/Many/A long file name 300.txt", text("300")},
  };
  for (const auto& f : files) EXPECT_EQ(text(mtools_output("mtype", image, f.path)), f.content) << f.path;
  char today[16];
  const std::time_t now = std::time(nullptr);
  std::strftime(today, sizeof today, "%Y-%m-%d", std::localtime(&now));
  const std::string docs = mtools_output("mdir", image, "/Docs"), root = mtools_output("mdir", image, "/");
  for (const std::string shown : {"README~1 TXT      2004 " + std::string(today), "Read Me.txt"s, "Sub Dir"s}) {
    EXPECT_NE(docs.find(shown), std::string::npos) << shown << " in " << docs;
  }
  EXPECT_NE(root.find("UPPER    TXT         5"), std::string::npos) << root;
  EXPECT_TRUE(root.find("gone") == std::string::npos && root.find("Empty") == std::string::npos) << root;
  // Every entry kept: 300 and the dot entries (fsck.fat below finds any alias used twice).
  EXPECT_NE(mtools_output("mdir", image, "/Many").find(" 302 files"), std::string::npos);
  for (int i = 1; i <= 300; i += 5) {  // slots and short entry in one sector: one write makes the name whole
    const std::string path = "/Many/A long file name " + std::to_string(i) + ".txt";
    EXPECT_EQ(entry_offset(image, path, -1, 2) / 512, entry_offset(image, path) / 512) << path;
  }
  EXPECT_EQ(fsck(image), kNoProblems);
}

// Also: a run that writes leaves a volume that was dirty dirty.
TEST(Mount, RefusalsWriteNothing) {
  const std::string image = make_image();
  populate(image, {"file.txt", "ro.txt", "Dir/", "Dir/inner.txt", "Empty/"});
  ASSERT_EQ(run("mattrib -i " + quote(image) + " +r ::/ro.txt"), 0);
  const Bytes before = read_file(image);
  using Call = std::function<int32_t(Mount&)>;
  auto open = [](std::string path, OpenRequest how) { return Call([=](Mount& m) { Node n; return m.open(path, how, n); }); };
  auto mkdir = [](std::string path) { return Call([=](Mount& m) { return m.mkdir(path); }); };
  auto rmdir = [](std::string path) { return Call([=](Mount& m) { return m.rmdir(path); }); };
  auto unlink = [](std::string path) { return Call([=](Mount& m) { return m.unlink(path); }); };
  auto replace = [](std::string path) { return Call([=](Mount& m) { return m.replace(path, text("new")); }); };
  auto write_at = [](uint64_t offset) {
    return Call([=](Mount& m) { Node n; m.lookup("/file.txt", n); return m.write(n.id, offset, text("ab")); });
  };
  const OpenRequest write{.write = true}, create{.write = true, .create = true};
  struct Refusal { Call call; int32_t expected; };
  const Refusal writable[] = {
      {open("/" + std::string(256, 'a'), {}), kNameTooLong}, {open("/Dir", write), kIsDirectory},
      {open("/", write), kIsDirectory}, {open("/RO.TXT", write), kAccess}, {unlink("/missing"), kNoEntry},
      {open("/file.txt", {.create = true, .exclusive = true}), kExists}, {open("/missing", {}), kNoEntry},
      {open("/missing/new", create), kNoEntry}, {open("/new/", create), kIsDirectory}, {mkdir("/a:b"), kInvalid},
      {open("/bad\x01", create), kInvalid}, {mkdir("/dir"), kExists}, {open("/trailing dot.", create), kInvalid},
      {replace("/new.txt "), kInvalid}, {open("/" + std::string(256, 'b'), create), kNameTooLong},
      {mkdir("/"), kExists}, {mkdir("/file.txt/x"), kNotDirectory}, {rmdir("/Dir"), kNotEmpty}, {rmdir("/"), kBusy},
      {rmdir("/file.txt"), kNotDirectory}, {rmdir("/Empty/."), kInvalid}, {rmdir("/missing"), kNoEntry},
      {unlink("/Dir"), kIsDirectory}, {unlink("/"), kIsDirectory}, {replace("/Dir"), kIsDirectory},
      {replace("/ro.txt"), kAccess}, {replace("/x/y"), kNoEntry}, {write_at(0xFFFFFFFE), kFileTooBig},
      {[](Mount& m) { return m.commit(9); }, kBadHandle}, {[](Mount& m) { return m.append(9, text("x")); }, kBadHandle},
      {[](Mount& m) { Node n; Bytes b(9); m.lookup("/Dir", n); return m.read(n.id, 0, b); }, kIsDirectory},
  };
  const Refusal read_only[] = {
      {open("/file.txt", write), kReadOnly}, {open("/new", create), kReadOnly}, {mkdir("/new"), kReadOnly},
      {rmdir("/Empty"), kReadOnly}, {unlink("/file.txt"), kReadOnly}, {replace("/file.txt"), kReadOnly},
      {write_at(0), kReadOnly},
  };
  for (bool ro : {false, true}) {
    Attached r(image, ro);
    size_t row = 0;
    for (const Refusal& c : ro ? std::span<const Refusal>(read_only) : std::span<const Refusal>(writable)) {
      EXPECT_EQ(c.call(*r.mount), c.expected) << row++;
    }
  }
  EXPECT_TRUE(read_file(image) == before);
  poke(image, 32 * 512 + 7, {0x07});  // clears the clean bit of FAT[1] in mkfs.fat's first FAT
  ASSERT_EQ(Attached(image).mount->mkdir("/New"), kOk);
  EXPECT_FALSE(marked_clean(image)) << "a volume that was dirty stays dirty";
}

// Each writing call, stopped at each of its writes. A power cut after any write (the run's dirty mark and
// detach included), on a disk that keeps the order of writes or on one that persists any of the writes
// since the last barrier: the image as it would be on disk has nothing worse than a cut may leave for
// fsck.fat, every entry is its old or its new self, and the same call run again finishes the job. A write that
// fails once (a passing error) or, for the replacement, for good (a dead disk): the call fails with the
// old state or succeeds with the new one, and fsck.fat finds nothing, or the volume stays marked.
TEST(Mount, APowerCutOrAFailingWriteLeavesOldOrNewAndARerunFinishes) {
  const std::string base = make_image("base.img"), image = scratch_dir() + "/cut.img";
  populate(base, {"Empty/", "Dir/", "Dir/Long File Name.txt", "Full/"});
  for (int i = 0; i < 13; ++i) populate(base, {"Full/f" + std::to_string(i)});  // 2 + 13 entries of 16
  ASSERT_EQ(Attached(base).mount->replace("/file", pattern(3000, 4)), kOk);
  const std::string paths[] = {"/file", "/new.txt", "/New Directory", "/Empty", "/Dir/Long File Name.txt",
                               "/Full/A long name", "/Full/f12"};
  auto fresh = [&] { ASSERT_EQ(run("cp --sparse=always " + quote(base) + " " + quote(image)), 0); };
  // Whether two states agree, /file's content aside when `mix` (it is first, as "/file: 0, HASH").
  auto same = [](bool mix, const std::vector<std::string>& a, const std::vector<std::string>& b) {
    const size_t from = mix && a.at(0).starts_with("/file: 0, ") && b.at(0).starts_with("/file: 0, ") ? 1 : 0;
    return std::equal(a.begin() + from, a.end(), b.begin() + from, b.end());
  };
  auto states = [&] {  // what each path names: the lookup's result and a hash of the content
    Attached r(image, true);
    std::vector<std::string> all;
    for (const std::string& path : paths) {
      Node n;
      const int32_t rc = r.mount->lookup(path, n);
      const Bytes content = rc == kOk && !n.is_directory ? r.read_all(path) : Bytes{};
      all.push_back(path + ": " + std::to_string(rc) + ", " + std::to_string(std::hash<std::string>{}({content.begin(), content.end()})));
    }
    return all;
  };
  using Run = std::function<int32_t(Mount&)>;
  auto grow = [](uint64_t offset, size_t size) {
    return Run([=](Mount& m) { Node n; m.lookup("/file", n); return m.write(n.id, offset, pattern(size, 6)) == int32_t(size) ? kOk : kIoError; });
  };
  auto create = [](const char* path) { return Run([=](Mount& m) { Node n; return m.open(path, {.write = true, .create = true}, n); }); };
  auto overwrite = [](uint64_t offset, size_t size) {  // within the file's size: no cluster, no new size
    return Run([=](Mount& m) { Node n; m.lookup("/file", n); return m.write(n.id, offset, pattern(size, 10)) == int32_t(size) ? kOk : kIoError; });
  };
  // `in_place`: the call writes within /file, which may then hold any mix of old and new bytes; every
  // other path stays old or new all the same.
  const struct { const char* name; Run run; int32_t done_already = kOk; bool dead_disk = false; bool in_place = false; } calls[] = {
      {"create growing the directory", create("/Full/A long name")},
      {"create", create("/new.txt")},
      {"write across clusters", grow(3000, 2000)},
      {"write in the last cluster", grow(3000, 50)},
      {"write in place", overwrite(700, 1500), kOk, false, true},
      {"truncate", [](Mount& m) { Node n; m.lookup("/file", n); return m.truncate(n.id); }},
      {"replace", [](Mount& m) { return m.replace("/file", pattern(5000, 5)); }, kOk, true},
      {"replace new", [](Mount& m) { return m.replace("/new.txt", pattern(1500, 7)); }},
      {"stream", [](Mount& m) {
         const int32_t h = m.begin_replace("/file");
         return m.append(h, pattern(700, 8)) == kOk && m.append(h, pattern(900, 9)) == kOk ? m.commit(h) : kIoError;
       }},
      {"mkdir", [](Mount& m) { return m.mkdir("/New Directory"); }, kExists},
      {"rmdir", [](Mount& m) { return m.rmdir("/Empty"); }, kNoEntry},
      {"unlink", [](Mount& m) { return m.unlink("/Dir/Long File Name.txt"); }, kNoEntry},
  };
  for (const auto& call : calls) {
    fresh();
    const std::vector<std::string> old_state = states();
    WriteLog log;
    Attached r(image);
    log.record(*r.volume);
    ASSERT_EQ(call.run(*r.mount), kOk) << call.name;
    const size_t call_writes = log.writes.size();
    ASSERT_EQ(r.mount->detach(), kOk) << call.name;
    r.close();
    const std::vector<std::string> new_state = states();
    for (size_t nth = 1; nth <= call_writes; ++nth) {
      for (int persistent = 0; persistent <= call.dead_disk; ++persistent) {
        const std::string where = std::string(call.name) + ", write " + std::to_string(nth) + (persistent ? " on" : "");
        fresh();
        Attached faulty(image);
        faulty.mount->inject_write_fault(nth, persistent);
        const int32_t result = call.run(*faulty.mount);
        faulty.close();
        EXPECT_TRUE(result == kOk || result == kIoError) << where << ": " << result;
        EXPECT_TRUE(same(call.in_place, states(), result == kOk ? new_state : old_state)) << where;
        if (!persistent || marked_clean(image)) EXPECT_EQ(fsck(image), kNoProblems) << where;
      }
    }
    // The image as replayed: old or new, nothing worse for fsck.fat, and the call run again finishes.
    auto judge = [&](const std::string& where) {
      EXPECT_EQ(worse_than_a_cut(image), kNoProblems) << where;
      const std::vector<std::string> now = states();
      EXPECT_TRUE(same(call.in_place, now, new_state) || same(call.in_place, now, old_state))
          << where << ": " << testing::PrintToString(now);
      const int32_t rc = call.run(*Attached(image).mount);
      EXPECT_TRUE(rc == kOk || rc == call.done_already) << where << ": the rerun gave " << rc;
      EXPECT_EQ(worse_than_a_cut(image), kNoProblems) << where << ", rerun";
      EXPECT_EQ(states(), new_state) << where << ", rerun";
    };
    for (size_t cut = 0; cut <= log.writes.size(); ++cut) {
      fresh();
      log.replay(image, cut);
      judge(std::string(call.name) + ", cut after write " + std::to_string(cut));
    }
    // A disk that reorders the writes between barriers.
    const std::vector<std::vector<size_t>> reordered = log.reordered_states();
    for (const std::vector<size_t>& state : reordered) {
      fresh();
      log.replay(image, state);
      judge(std::string(call.name) + ", reordered writes " + testing::PrintToString(state) + " of " +
            std::to_string(log.writes.size()) + ", barriers after " + testing::PrintToString(log.barriers));
    }
    std::printf("%s: %zu writes, %zu barriers, %zu cut points, %zu reordered states\n", call.name, log.writes.size(),
                log.barriers.size(), log.writes.size() + 1, reordered.size());
  }
}


}  // namespace
}  // namespace vornos::fat32
