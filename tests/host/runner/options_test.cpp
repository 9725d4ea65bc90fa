// The runner's command line.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "options.h"

namespace vornos::kernel {
namespace {

std::optional<Options> parse(std::initializer_list<const char*> arguments, std::string& error) {
  std::vector<const char*> argv{"vornos-run"};
  argv.insert(argv.end(), arguments);
  return parse_options(static_cast<int>(argv.size()), argv.data(), error);
}

TEST(Options, ProgramAndArgumentsBecomeTheArgumentVector) {
  std::string error;
  const auto options = parse({"--trace", "build/bin/mendir", "/docs", "--trace", "-x"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_TRUE(options->trace);
  EXPECT_FALSE(options->test_hooks);
  // Everything from PROGRAM on belongs to the program, options lookalikes included.
  EXPECT_EQ(options->program, (std::vector<std::string>{"build/bin/mendir", "/docs", "--trace", "-x"}));
}

TEST(Options, EveryOptionIsRecognised) {
  std::string error;
  auto options = parse({"--test-hooks", "--log-repairs", "--dry-run", "--volume", "card.img", "prog"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_TRUE(options->test_hooks);
  EXPECT_TRUE(options->log_repairs);
  EXPECT_TRUE(options->dry_run);
  EXPECT_EQ(options->volume, "card.img");
  EXPECT_FALSE(options->no_volume);

  options = parse({"--volume=other.img", "prog"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->volume, "other.img");

  options = parse({"--no-volume", "prog"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_TRUE(options->no_volume);
  EXPECT_FALSE(options->volume);
}

TEST(Options, DoubleDashEndsTheOptions) {
  std::string error;
  const auto options = parse({"--", "--trace", "a"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_FALSE(options->trace);
  EXPECT_EQ(options->program, (std::vector<std::string>{"--trace", "a"}));
}

TEST(Options, UsageErrorsSayWhatIsWrong) {
  std::string error;
  EXPECT_FALSE(parse({}, error));
  EXPECT_EQ(error, "no PROGRAM given");
  EXPECT_FALSE(parse({"--trace"}, error));
  EXPECT_EQ(error, "no PROGRAM given");
  EXPECT_FALSE(parse({"--frobnicate", "prog"}, error));
  EXPECT_EQ(error, "unknown option --frobnicate");
  EXPECT_FALSE(parse({"--volume"}, error));
  EXPECT_EQ(error, "--volume needs an image file");
  EXPECT_FALSE(parse({"--volume=", "prog"}, error));
  EXPECT_EQ(error, "--volume needs an image file");
  EXPECT_FALSE(parse({"--volume", "a.img", "--no-volume", "prog"}, error));
  EXPECT_EQ(error, "--volume and --no-volume exclude each other");
  EXPECT_FALSE(parse({"-o"}, error));
  EXPECT_EQ(error, "-o needs a file for the trace");
}

TEST(Options, HelpNeedsNoProgramAndDescribesEveryOption) {
  std::string error;
  const auto options = parse({"--help"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_TRUE(options->help);
  EXPECT_TRUE(parse({"-h"}, error)->help);
  const std::string text = usage_text();
  for (const char* option : {"--volume IMAGE", "--no-volume", "--dry-run", "--log-repairs", "--trace", "-o FILE", "--test-hooks", "--help"}) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
  for (const char* status : {"128+N", "125", "126", "127"}) EXPECT_NE(text.find(status), std::string::npos) << status;
}

}  // namespace
}  // namespace vornos::kernel
