// One namespace of volume names and fifos: every spelling of a fifo's path, relative ones
// too, names the one fifo; a name is a fifo or a volume entry, never both; unlink removes a
// fifo. On a volume made by mkfs.fat and mtools.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../fat32/test_images.h"
#include "base/abi.h"
#include "base/error_codes.h"
#include "calls/call_table.h"
#include "fat32_fs/fat32_file_system.h"
#include "vfs/names.h"
#include "flat_memory.h"
#include "pipes/pipe.h"

namespace vornos::kernel {
namespace {

class FifoNames : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string image = fat32::test::make_image("names.img");
    fat32::test::populate(image, {"Docs/", "Docs/Letter.txt", "top.txt"});
    std::string error;
    volume = Fat32FileSystem::open(image, {}, error);
    ASSERT_TRUE(volume) << error;
    names = std::make_unique<Names>(volume.get());
    context = std::make_unique<CallContext>(files, memory, volume.get(), *names);
  }
  // Serves `number` with the path `path` in the first argument and `second` in the next.
  int32_t call(uint32_t number, const std::string& path, uint32_t second = 0, uint32_t third = 0) {
    return serve_call(*context, {number, {memory.put(0, path), second, third}}).result;
  }

  // The volume outlives the holds the process files keep on it.
  std::unique_ptr<Fat32FileSystem> volume;
  test::FlatMemory memory;
  ProcessFiles files;
  std::unique_ptr<Names> names;
  std::unique_ptr<CallContext> context;
};

TEST_F(FifoNames, EverySpellingOfAPathNamesOneFifo) {
  const auto pipe = std::make_shared<Pipe>();
  ASSERT_EQ(names->make_fifo("/pipe1", pipe), 0);
  for (const char* spelling : {"/pipe1", "/PIPE1", "//pipe1", "/./pipe1", "/Docs/../Pipe1", "/pipe1/", "/docs/../pipe1"}) {
    EXPECT_EQ(names->fifo(spelling), pipe) << spelling;
    EXPECT_EQ(names->make_fifo(spelling, std::make_shared<Pipe>()), kExists) << spelling;
  }
  EXPECT_EQ(names->fifo("/pipe2"), nullptr);
  EXPECT_EQ(names->fifo("/Docs/pipe1"), nullptr);
  // Letters beyond ASCII fold as the volume compares them: u with diaeresis, small and capital.
  ASSERT_EQ(names->make_fifo("/\xc3\xbc", std::make_shared<Pipe>()), 0);
  EXPECT_NE(names->fifo("/\xc3\x9c"), nullptr);
}

TEST_F(FifoNames, WhatMkfifoRefuses) {
  const struct {
    const char* path;
    int32_t result;
  } cases[] = {{"/Docs", kExists},         {"/docs", kExists},           {"/TOP.TXT", kExists},
               {"/Docs/letter.txt", kExists}, {"/", kExists},             {"/Docs/..", kExists},
               {"/Docs/.", kExists},        {"/none/x", kNoSuchFile},     {"/top.txt/x", kNotDirectory},
               {"/Docs/new", 0}};
  for (const auto& c : cases) EXPECT_EQ(call(call::mkfifo, c.path), c.result) << c.path;
}

// The calls that would make or use a volume entry by a fifo's name, each under another
// spelling of it; unlink forgets the fifo, after which the name is free on the volume.
TEST_F(FifoNames, ANameIsAFifoOrAVolumeEntryNeverBoth) {
  ASSERT_EQ(call(call::mkfifo, "/ff"), 0);
  const uint32_t text = memory.put(0x100, "x");
  const struct {
    uint32_t number;
    const char* path;
    uint32_t second, third;
    int32_t result;
  } cases[] = {{call::writefile, "/FF", text, 1, kExists},
               {call::vornfs_stream_begin, "//ff", 0, 0, kExists},
               {call::open, "/./ff", open_flag::kCreate | 1, 0, kExists},
               {call::open, "/ff", open_flag::kCreate | open_flag::kExclusive | 1, 0, kExists},
               {call::mkdir, "/Ff", 0, 0, kExists},
               {call::rmdir, "/ff", 0, 0, kNotDirectory},
               {call::chdir, "/ff", 0, 0, kNotDirectory},
               {call::unlink, "/FF", 0, 0, 0},
               {call::unlink, "/ff", 0, 0, kNoSuchFile},
               {call::open, "/ff", 0, 0, kNoSuchFile},
               {call::writefile, "/ff", text, 1, 0}};
  for (const auto& c : cases) EXPECT_EQ(call(c.number, c.path, c.second, c.third), c.result) << c.number << " " << c.path;
  EXPECT_EQ(names->fifo("/ff"), nullptr);
  NodeInfo node;
  EXPECT_EQ(volume->lookup("/FF", node), 0);
  EXPECT_EQ(node.size, 1u);
  // And now the volume has the name, a fifo cannot.
  EXPECT_EQ(call(call::mkfifo, "/ff"), kExists);
}

TEST_F(FifoNames, RelativePathsResolveFromTheWorkingDirectory) {
  ASSERT_EQ(call(call::chdir, "/DOCS"), 0);
  EXPECT_EQ(call(call::mkfifo, "chan"), 0);
  EXPECT_NE(names->fifo("/docs/CHAN"), nullptr);
  EXPECT_EQ(call(call::mkfifo, "./Chan"), kExists);
  EXPECT_EQ(call(call::mkfifo, "../Docs/chan"), kExists);
  EXPECT_EQ(call(call::mkfifo, "../chan"), 0);
  EXPECT_NE(names->fifo("/chan"), nullptr);
}

}  // namespace
}  // namespace vornos::kernel
