// vornos-run as a whole, on assembled test programs: statuses, output bytes, refusals, trace.
#include <elf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "guests.h"
#include "subprocess.h"

namespace vornos::kernel {
namespace {

using testing::CommandResult;
using testing::guest;
using testing::run_command;
using testing::runner;

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// The file byte at virtual address `address`, through the program headers.
int byte_at_address(const std::string& image, uint32_t address) {
  Elf32_Ehdr header;
  std::memcpy(&header, image.data(), sizeof header);
  for (unsigned index = 0; index < header.e_phnum; ++index) {
    Elf32_Phdr segment;
    std::memcpy(&segment, image.data() + header.e_phoff + index * sizeof segment, sizeof segment);
    if (segment.p_type == PT_LOAD && address >= segment.p_vaddr && address < segment.p_vaddr + segment.p_filesz) {
      return static_cast<unsigned char>(image[segment.p_offset + (address - segment.p_vaddr)]);
    }
  }
  return -1;
}

TEST(Runner, RegistersSurviveCallsAndLinuxNeverSeesThem) {
  const CommandResult result = run_command({runner(), guest("registers")});
  EXPECT_EQ(result.status, 0) << "failed check " << result.status;
  EXPECT_EQ(result.out, "ok\n");
  EXPECT_EQ(result.err, "");
}

TEST(Runner, InputAndOutputPassThroughUnchanged) {
  std::string input(200 * 1024, '\0');
  std::mt19937 random(7);
  for (char& byte : input) byte = static_cast<char>(random());
  const CommandResult result = run_command({runner(), guest("echo")}, input);
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out == input) << "output differs; " << result.out.size() << " of " << input.size() << " bytes";
}

TEST(Runner, ProgramAndArgumentsAreTheArgumentVector) {
  const std::string program = guest("arguments");
  const CommandResult result = run_command({runner(), program, "a b", "", "--trace"});
  EXPECT_EQ(result.status, 4);
  EXPECT_EQ(result.out, program + "\na b\n\n--trace\n");
}

TEST(Runner, ExitStatusIsTheProgramsOwn) {
  EXPECT_EQ(run_command({runner(), guest("wait_for_input")}, "\x07").status, 7);
  EXPECT_EQ(run_command({runner(), guest("wait_for_input")}, "\xff").status, 255);
  EXPECT_EQ(run_command({runner(), guest("wait_for_input")}).status, 0);
}

TEST(Runner, DeathBySignalIsReportedOnceWithTheAddress) {
  const std::string program = guest("segv");
  Elf32_Ehdr header;
  const std::string image = read_file(program);
  std::memcpy(&header, image.data(), sizeof header);
  char expected[128];
  std::snprintf(expected, sizeof expected, "vornos-run: program killed by SIGSEGV at eip 0x%08x\n", header.e_entry);
  const CommandResult result = run_command({runner(), program});
  EXPECT_EQ(result.status, 128 + 11);
  EXPECT_EQ(result.err, expected);
  EXPECT_EQ(result.out, "");
}

TEST(Runner, AnExitThatReturnsEndsInTheHalt) {
  const std::string program = guest("exit_returns");
  const CommandResult result = run_command({runner(), "--test-hooks", program});
  EXPECT_EQ(result.status, 128 + 11);
  unsigned eip = 0;
  ASSERT_EQ(std::sscanf(result.err.c_str(), "vornos-run: program killed by SIGSEGV at eip %x", &eip), 1) << result.err;
  EXPECT_EQ(byte_at_address(read_file(program), eip), 0xF4) << "not at a hlt instruction";
  // Without --test-hooks the control call is unknown (-38) and the program says so.
  EXPECT_EQ(run_command({runner(), program}).status, 9);
}

TEST(Runner, TestHooksCaptureOutput) {
  const CommandResult result = run_command({runner(), "--test-hooks", guest("capture")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "6secret");
}

TEST(Runner, TraceShowsEveryCallDecoded) {
  const CommandResult result = run_command({runner(), "--trace", guest("registers")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "ok\n");
  const std::vector<std::string> lines = lines_of(result.err);
  ASSERT_EQ(lines.size(), 8u) << result.err;
  EXPECT_EQ(lines[0], R"(write(1, "ok\n", 3) = 3)");
  EXPECT_TRUE(lines[1].starts_with("call_200(0x1, ") && lines[1].ends_with(") = -38 ENOSYS")) << lines[1];
  EXPECT_TRUE(lines[2].starts_with("call_252(0x9, ")) << lines[2];
  EXPECT_TRUE(lines[3].starts_with("call_20(")) << lines[3];
  EXPECT_EQ(lines[4], "write(1, NULL, 3) = -14 EFAULT");
  EXPECT_TRUE(lines[5].starts_with("read(0, 0x") && lines[5].ends_with(", 1) = -14 EFAULT")) << lines[5];
  EXPECT_EQ(lines[6], "exit(0)");
  EXPECT_EQ(lines[7], "+++ exited with 0 +++");
}

class RefusedImages : public ::testing::Test {
 protected:
  void SetUp() override { directory_ = ::testing::TempDir() + "refused_" + std::to_string(getpid()); mkdir(directory_.c_str(), 0700); }
  void TearDown() override {
    for (const std::string& path : created_) unlink(path.c_str());
    rmdir(directory_.c_str());
  }
  std::string make(const std::string& name, const std::string& bytes) {
    const std::string path = directory_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    chmod(path.c_str(), 0755);
    created_.push_back(path);
    return path;
  }
  std::string directory_;
  std::vector<std::string> created_;
};

TEST_F(RefusedImages, AreRefusedWithStatus127BeforeAnythingRuns) {
  std::string dynamic = read_file(guest("registers"));
  Elf32_Ehdr header;
  std::memcpy(&header, dynamic.data(), sizeof header);
  // Turn the first program header into PT_INTERP: the image would need a dynamic loader.
  Elf32_Phdr first;
  std::memcpy(&first, dynamic.data() + header.e_phoff, sizeof first);
  first.p_type = PT_INTERP;
  std::memcpy(dynamic.data() + header.e_phoff, &first, sizeof first);

  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {make("script", "#!/bin/sh\necho ran\n"), "not an ELF file"},
      {make("dynamic", dynamic), "dynamically linked"},
      {"/proc/self/exe", "64-bit"},
      {directory_ + "/missing", "No such file"},
      {directory_, "not a regular file"},
  };
  for (const auto& refused : cases) {
    const CommandResult result = run_command({runner(), refused.path});
    EXPECT_EQ(result.status, 127) << refused.path;
    EXPECT_EQ(result.out, "") << refused.path;
    EXPECT_TRUE(result.err.starts_with("vornos-run: cannot run " + refused.path + ": ")) << result.err;
    EXPECT_NE(result.err.find(refused.reason), std::string::npos) << result.err;
    EXPECT_EQ(lines_of(result.err).size(), 1u) << result.err;
  }
}

TEST(Runner, UsageErrorsAndHelp) {
  CommandResult result = run_command({runner()});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "vornos-run: no PROGRAM given\nTry 'vornos-run --help'.\n");
  result = run_command({runner(), "--bogus", guest("registers")});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  result = run_command({runner(), "--help"});
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out.starts_with("usage: vornos-run [options] PROGRAM [ARGS...]\n"));
}

TEST(Runner, AnUnusableVolumeIsRefusedBeforeTheProgramRuns) {
  const CommandResult result = run_command({runner(), "--volume", "/nonexistent/card.img", guest("registers")});
  EXPECT_EQ(result.status, 126);
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(result.err.starts_with("vornos-run: cannot attach volume /nonexistent/card.img: ")) << result.err;
}

}  // namespace
}  // namespace vornos::kernel
