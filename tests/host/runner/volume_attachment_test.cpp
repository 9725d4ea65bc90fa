// Which volume image a run attaches.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "volume_attachment.h"

namespace vornos::kernel {
namespace {

namespace fs = std::filesystem;

class VolumeChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(::testing::TempDir()) / ("volume_choice_" + std::to_string(getpid()));
    fs::create_directories(root_ / "bin");
  }
  void TearDown() override { fs::remove_all(root_); }
  void install_sample() {
    fs::create_directories(root_ / "share" / "vornos");
    std::ofstream(root_ / "share" / "vornos" / "sample.img") << "image";
  }
  fs::path root_;
};

TEST_F(VolumeChoice, TheBundledSampleIsTheDefaultWhenItExists) {
  Options options;
  EXPECT_EQ(chosen_volume_image(options, (root_ / "bin").string()), std::nullopt);
  install_sample();
  EXPECT_EQ(chosen_volume_image(options, (root_ / "bin").string()), (root_ / "share" / "vornos" / "sample.img").string());
  EXPECT_EQ(chosen_volume_image(options, ""), std::nullopt) << "runner's own place unknown";
}

TEST_F(VolumeChoice, OptionsOverrideTheDefault) {
  install_sample();
  Options options;
  options.volume = "card.img";
  EXPECT_EQ(chosen_volume_image(options, (root_ / "bin").string()), "card.img");
  options.volume.reset();
  options.no_volume = true;
  EXPECT_EQ(chosen_volume_image(options, (root_ / "bin").string()), std::nullopt);
}

}  // namespace
}  // namespace vornos::kernel
