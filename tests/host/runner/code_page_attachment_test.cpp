// The runner's --codepage reaches the attached volume: a short name mtools wrote in code page 850 is
// found under its own name only when the run reads the volume in 850.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "runner/volume_attachment.h"

namespace vornos::kernel {
namespace {

namespace fs = std::filesystem;

TEST(VolumeAttachment, ReadsShortNamesInTheChosenCodePage) {
  const fs::path dir = fs::temp_directory_path() / ("vornos-code-page-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string image = dir / "volume.img", config = dir / "mtoolsrc", source = dir / "content";
  std::ofstream(config) << "default_codepage=850\n";
  std::ofstream(source) << "naive";
  const std::string make = "PATH=\"$PATH:/usr/sbin:/sbin\" mkfs.fat -F 32 -C -s 1 '" + image + "' 34000 >/dev/null && " +
                           "LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1 MTOOLSRC='" + config + "' mcopy -i '" + image + "' '" +
                           source + "' '::/naïve.doc'";
  const int status = std::system(make.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << make;
  const struct { unsigned code_page; const char* path; int32_t result; const char* stored; } rows[] = {
      {850, "/NAÏVE.DOC", 0, "/naïve.doc"},
      {437, "/naïve.doc", -2, ""},
      {437, "/NA╪VE.DOC", 0, "/na╪ve.doc"},  // 0xD8 is a box-drawing character in 437
  };
  for (const auto& row : rows) {
    Options options;
    options.volume = image;
    options.read_only = true;
    options.code_page = row.code_page;
    std::string error;
    const std::unique_ptr<FileSystem> file_system = attach_volume(options, error);
    ASSERT_TRUE(file_system) << error;
    NodeInfo node;
    EXPECT_EQ(file_system->lookup(row.path, node), row.result) << row.code_page << " " << row.path;
    if (row.result == 0) {
      EXPECT_EQ(node.path, row.stored);
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vornos::kernel
