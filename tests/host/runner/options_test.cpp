// The runner's command line and the volume it chooses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "runner/options.h"
#include "runner/volume_attachment.h"

namespace vornos::kernel {
namespace {

std::optional<Options> parse(std::vector<const char*> arguments, std::string& error) {
  arguments.insert(arguments.begin(), "vornos-run");
  return parse_options(static_cast<int>(arguments.size()), arguments.data(), error);
}

TEST(Options, EveryOptionAndTheProgramsOwnArguments) {
  std::string error;
  const auto o = parse({"--trace", "--test-hooks", "--log-repairs", "--dry-run", "--read-only", "--timeout=1.5", "--volume",
                        "v.img", "prog", "--trace", "-x"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_TRUE(o->trace && o->test_hooks && o->log_repairs && o->dry_run && o->read_only && !o->no_volume && !o->help);
  EXPECT_EQ(o->timeout_seconds, 1.5);
  EXPECT_EQ(o->volume, "v.img");
  EXPECT_EQ(o->program, (std::vector<std::string>{"prog", "--trace", "-x"}));
  EXPECT_EQ(parse({"--", "--trace"}, error)->program, std::vector<std::string>{"--trace"});
  EXPECT_EQ(parse({"--volume=w.img", "--timeout", "0", "p"}, error)->volume, "w.img");
  EXPECT_TRUE(parse({"--no-volume", "p"}, error)->no_volume);
  EXPECT_TRUE(parse({"-h"}, error)->help);
}

TEST(Options, UsageErrorsSayWhatIsWrong) {
  const struct {
    std::vector<const char*> arguments;
    std::string error;
  } cases[] = {
      {{}, "no PROGRAM given"},
      {{"--frobnicate", "p"}, "unknown option --frobnicate"},
      {{"--volume"}, "--volume needs an image file"},
      {{"--volume=", "p"}, "--volume needs an image file"},
      {{"--volume", "a", "--no-volume", "p"}, "--volume and --no-volume exclude each other"},
      {{"--timeout"}, "--timeout needs a number of seconds"},
      {{"--timeout", "1e3", "p"}, "--timeout needs a number of seconds, not '1e3'"},
      {{"--timeout=inf", "p"}, "--timeout needs a number of seconds, not 'inf'"},
      {{"--timeout", "999999999", "p"}, "--timeout needs a number of seconds, not '999999999'"},
      {{"-o"}, "-o needs a file for the trace"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(parse(c.arguments, error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(Options, TheBundledSampleIsTheDefaultVolume) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(::testing::TempDir()) / ("volume_choice_" + std::to_string(getpid()));
  const std::string bin = (root / "bin").string(), sample = (root / "share" / "vornos" / "sample.img").string();
  fs::create_directories(root / "share" / "vornos");
  fs::create_directories(bin);
  Options options;
  EXPECT_EQ(chosen_volume_image(options, bin), std::nullopt);
  std::ofstream(sample) << "image";
  EXPECT_EQ(chosen_volume_image(options, bin), sample);
  options.volume = "card.img";
  EXPECT_EQ(chosen_volume_image(options, bin), "card.img");
  options.volume.reset();
  options.no_volume = true;
  EXPECT_EQ(chosen_volume_image(options, bin), std::nullopt);
  fs::remove_all(root);
}

}  // namespace
}  // namespace vornos::kernel
