// Names in the volume's code page between mtools and the mount: each finds what the other wrote under
// any spelling of its case, a name is never stored twice, and fsck.fat -n finds nothing.
#include <gtest/gtest.h>

#include <fstream>

#include "fat32/errors.h"
#include "fat32/mount.h"
#include "fat32/repair.h"
#include "mounted.h"
#include "test_images.h"

namespace vornos::fat32 {
namespace {

using namespace test;

struct Spelling {
  std::string name;   // as it was first written
  std::string other;  // the same name in other case
  bool bare;          // for a name the mount writes: stored as the short entry alone
};

struct PageCase {
  unsigned page;
  std::vector<Spelling> from_mtools;  // written by mcopy (a name with '/' lies in /ärger, which mmd made)
  std::vector<Spelling> from_mount;   // written by the mount at the root
};

// mtools writes names that fit 8.3 and whose upper case the page holds as short entries alone; the
// mount must find them under every spelling, replace them in place, and store its own names so that
// mtools finds them.
TEST(CodePageVolume, NamesWrittenByEachSideAreFoundByTheOther) {
  const std::vector<Spelling> common_mtools = {
      {"ü.txt", "Ü.TXT", true}, {"Ünïcode.tar.gz", "üNÏCODE.TAR.GZ", false}, {"ärger/inner.txt", "ÄRGER/Inner.TXT", true}};
  const std::vector<Spelling> common_mount = {
      {"ünter.txt", "ÜNTER.TXT", true}, {"Grüße.txt", "GRÜßE.TXT", false}, {"ÿ.txt", "Ÿ.TXT", false},
      {"€uro.txt", "€URO.TXT", false}};
  const PageCase cases[] = {
      {850, {{"naïve.doc", "NAÏVE.DOC", true}, {"á.txt", "Á.txt", true}, {"Õ.txt", "õ.TXT", true}},
       {{"øre.txt", "ØRE.TXT", true}}},
      {437, {{"é.TXT", "É.txt", true}, {"σ.txt", "Σ.TXT", true}, {"Γ.txt", "Γ.TXT", true}},
       {{"øre.txt", "ØRE.TXT", false}, {"φ.txt", "Φ.TXT", true}}},
  };
  for (const PageCase& c : cases) {
    SCOPED_TRACE("code page " + std::to_string(c.page));
    std::vector<Spelling> from_mtools = common_mtools, from_mount = common_mount;
    from_mtools.insert(from_mtools.end(), c.from_mtools.begin(), c.from_mtools.end());
    from_mount.insert(from_mount.end(), c.from_mount.begin(), c.from_mount.end());
    const std::string image = make_image("volume-" + std::to_string(c.page) + ".img");
    const std::string source = image + ".content";
    ASSERT_EQ(run(mtools_in_code_page(c.page) + "mmd -i " + quote(image) + " ::/ärger"), 0);
    for (size_t i = 0; i < from_mtools.size(); ++i) {
      std::ofstream(source) << "mtools " << i;
      ASSERT_EQ(run(mtools_in_code_page(c.page) + "mcopy -i " + quote(image) + " " + quote(source) + " " +
                    quote("::/" + from_mtools[i].name)),
                0)
          << from_mtools[i].name;
    }
    {
      Attached r(image, false, *find_code_page(c.page));
      Mount& mount = *r.mount;
      for (size_t i = 0; i < from_mtools.size(); ++i) {
        const Spelling& s = from_mtools[i];
        EXPECT_EQ(r.read_all("/" + s.other), text("mtools " + std::to_string(i))) << s.other;
        Node node;
        EXPECT_EQ(mount.lookup("/" + s.other, node) == kOk ? node.path : "missing", "/" + s.name) << "names as stored";
        EXPECT_EQ(mount.replace("/" + s.other, text("mount " + std::to_string(i))), kOk) << s.other;
      }
      for (size_t i = 0; i < from_mount.size(); ++i) {
        const Spelling& s = from_mount[i];
        ASSERT_EQ(mount.replace("/" + s.name, text("first")), kOk) << s.name;
        EXPECT_EQ(mount.replace("/" + s.other, text("mount " + std::to_string(i))), kOk) << s.other;
        LookupResult found;
        ASSERT_EQ(r.volume->lookup("/" + s.other, found), kOk) << s.other;
        EXPECT_EQ(found.path, "/" + s.name);
        EXPECT_EQ(found.info.long_name.empty(), s.bare) << s.name;
      }
      EXPECT_EQ(mount.mkdir("/ÄRGER"), kExists);
      ASSERT_EQ(mount.mkdir("/Ölkanne"), kOk);
      ASSERT_EQ(mount.replace("/ÖLKANNE/Inside.txt", text("inside")), kOk);
      Node node;
      EXPECT_EQ(mount.lookup("/ölkanne/INSIDE.TXT", node) == kOk ? node.path : "missing", "/Ölkanne/Inside.txt");
      ASSERT_EQ(mount.detach(), kOk);
    }
    for (size_t i = 0; i < from_mtools.size(); ++i) {
      EXPECT_EQ(mtools_output("mtype", image, "/" + from_mtools[i].name, c.page), "mount " + std::to_string(i)) << from_mtools[i].name;
    }
    for (size_t i = 0; i < from_mount.size(); ++i) {
      EXPECT_EQ(mtools_output("mtype", image, "/" + from_mount[i].name, c.page), "mount " + std::to_string(i)) << from_mount[i].name;
    }
    EXPECT_EQ(mtools_output("mtype", image, "/Ölkanne/Inside.txt", c.page), "inside");
    // Every name once: the files at the root, /ärger and /Ölkanne.
    const std::string listed = mtools_output("mdir -b", image, "/", c.page);
    const size_t root_files = from_mtools.size() - 1;
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), std::ssize(from_mount) + root_files + 2) << listed;
    EXPECT_EQ(fsck(image), kNoProblems);
  }
}

// The repair's records (its log lines) name entries in the volume's code page.
TEST(CodePageVolume, RepairRecordsNameEntriesInThePage) {
  const std::string image = make_image(), source = image + ".content";
  std::ofstream(source) << "some data";
  ASSERT_EQ(run(mtools_in_code_page(850) + "mmd -i " + quote(image) + " ::/ärger && " + mtools_in_code_page(850) +
                "mcopy -i " + quote(image) + " " + quote(source) + " ::/ärger/naïve.doc"),
            0);
  // The file hidden as a label (R4); found by its name in 437, where 0xD8 is a box-drawing character.
  poke(image, entry_offset(image, "/ärger/na╪ve.doc") + kAttrOffset, {0x28});
  const struct { const CodePage& page; const char* path; } rows[] = {
      {kCodePage850, "/ärger/naïve.doc"}, {kCodePage437, "/ärger/na╪ve.doc"}};
  for (const auto& row : rows) {
    Attached r(image, true, row.page);
    std::vector<std::string> paths;
    RepairOptions options;
    options.dry_run = true;
    options.on_repair = [&](const RepairRecord& record) { paths.push_back(format_repair_record(record)); };
    EXPECT_EQ(repair_dirents(*r.volume, "/", options), 1);
    EXPECT_EQ(paths, std::vector<std::string>{row.path + std::string(": attribute 0x28 -> 0x20 (R4)")});
  }
}

}  // namespace
}  // namespace vornos::fat32
