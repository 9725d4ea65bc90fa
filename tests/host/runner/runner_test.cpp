// vornos-run as a whole on the test program: I/O, refusals, wild calls, escapes, stops, names.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "process/tracee.h"
#include "runner/diagnostics.h"
#include "subprocess.h"

namespace vornos::kernel {
namespace {

namespace fs = std::filesystem;
using testing::guest;
using testing::mendir;
using testing::run_command;
using testing::runner;

class Runner : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  static int shell(const std::string& command) {
    return std::system(("(PATH=$PATH:/usr/sbin:/sbin MTOOLS_SKIP_CHECK=1; " + command + ") >/dev/null 2>&1").c_str());
  }
  // A FAT32 image holding one file whose long name is `name`, marked as a directory (which
  // a repair undoes). Bytes of the long name that are 'X' are put in as `x_is` afterwards.
  std::string damaged_volume(const std::string& name, char x_is = 'X') {
    const std::string image = dir_ + "/volume.img";
    EXPECT_EQ(shell("mkfs.fat -C -F 32 " + image + " 34000 && echo data > " + dir_ + "/f && mcopy -i " + image + " " +
                    dir_ + "/f ::" + name),
              0);
    std::string bytes = contents(image);
    const size_t entry = bytes.find("LONGNAMXTXT");
    EXPECT_NE(entry, std::string::npos);
    bytes[entry + 11] |= 0x10;
    for (size_t at = entry - 32; at < entry; ++at) {  // the long-name slot before the entry
      if (bytes[at] == 'X' && bytes[at + 1] == 0) bytes[at] = x_is;
    }
    std::ofstream(image, std::ios::binary) << bytes;
    return image;
  }
  static std::string contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  std::string dir_ = ::testing::TempDir() + "runner_" + std::to_string(getpid());
};

TEST_F(Runner, ProgramsSeeTheirArgumentsAndInput) {
  std::string input(200 * 1024, '\0');
  std::mt19937 random(7);
  for (char& byte : input) byte = static_cast<char>(random());
  auto result = run_command({runner(), guest(), "echo", "a b", "", "--trace"}, {input});
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out == "a b\n\n--trace\n" + input) << result.out.size() << " bytes out";
}

TEST_F(Runner, RefusesWhatItCannotUseWithAReason) {
  mkfifo((dir_ + "/fifo").c_str(), 0600);
  const struct {
    std::vector<std::string> options;
    int status;
    std::string err;
  } cases[] = {
      {{}, 2, "vornos-run: no PROGRAM given\nTry 'vornos-run --help'.\n"},
      {{"--volume", dir_ + "/none", guest()}, 126, "vornos-run: cannot attach volume " + dir_ + "/none: No such file or directory\n"},
      // A FIFO would block an open for reading forever; it is refused unopened.
      {{"--dry-run", "--volume", dir_ + "/fifo", guest()}, 126,
       "vornos-run: cannot attach volume " + dir_ + "/fifo: a FIFO, not a regular file or block device\n"},
      {{"--volume", dir_, guest()}, 126, "vornos-run: cannot attach volume " + dir_ + ": it is a directory\n"},
      {{dir_}, 127, "vornos-run: cannot run " + dir_ + ": not a regular file\n"},
      {{dir_ + "/fifo"}, 127, "vornos-run: cannot run " + dir_ + "/fifo: not a regular file\n"},
  };
  for (const auto& refused : cases) {
    std::vector<std::string> argv{runner()};
    argv.insert(argv.end(), refused.options.begin(), refused.options.end());
    const auto result = run_command(argv);
    EXPECT_EQ(result.status, refused.status) << refused.err;
    EXPECT_EQ(result.err, refused.err);
    EXPECT_EQ(result.out, "");
  }
}

// Every call number with registers that are null, tiny, the program's own code (which a
// read must not change), the top and the upper half of the address space, and huge counts.
TEST_F(Runner, WildCallsGetAnswersAndTheRunnerSurvives) {
  const std::string image = damaged_volume("longnamX.txt");
  const std::string before = contents(image);
  const auto result = run_command({runner(), "--volume", image, "--timeout", "600", guest(), "wild"});
  EXPECT_EQ(result.status, 0) << "1: a register changed, 2: the code changed; " << result.err;
  EXPECT_TRUE(contents(image) == before) << "no call had a path to change anything";
}

// Linux's creat, mkdir and kill through each way into the kernel: int 0x80, sysenter, the
// vDSO, syscall, and syscall in 64-bit mode. None may reach Linux. A CPU that does not
// know sysenter or syscall in 32-bit code raises SIGILL instead (status 132).
TEST_F(Runner, NoWayIntoTheKernelReachesLinux) {
  const pid_t target = fork();
  if (target == 0) {
    pause();
    _exit(0);
  }
  const std::string file = dir_ + "/file", directory = dir_ + "/directory";
  for (int way = 0; way < 5; ++way) {
    const auto result = run_command({runner(), guest(), "escape", std::to_string(way), file, directory, std::to_string(target)});
    EXPECT_TRUE(result.status == 0 || (way != 0 && result.status == 128 + SIGILL)) << way << ": " << result.err;
    EXPECT_FALSE(fs::exists(file) || fs::exists(directory)) << way;
  }
  int status = 0;
  EXPECT_EQ(waitpid(target, &status, WNOHANG), 0) << "the signal was sent";
  // Untraced, the same program does all three: the checks above can see a call that escapes.
  run_command({guest(), "escape", "0", file, directory, std::to_string(target)});
  EXPECT_TRUE(fs::exists(file) && fs::exists(directory));
  kill(target, SIGKILL);  // too late to change how it ended if SIGUSR1 came first
  EXPECT_EQ(waitpid(target, &status, 0), target);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGUSR1);
}

TEST_F(Runner, StopsAndTimeoutsEndTheProgramAndLeaveTheVolumeClean) {
  const std::string image = damaged_volume("longnamX.txt");
  // Ctrl-C after a repair, while the program loops: the repair stays whole and clean.
  // (--timeout only bounds the test, should the stop fail.)
  auto result = run_command({runner(), "--timeout", "600", "--volume", image, guest(), "spin", "/"}, {.signal_on_output = SIGINT});
  EXPECT_EQ(result.status, 130);
  EXPECT_EQ(result.out, "ready\n");
  EXPECT_EQ(result.err, "vornos-run: program ended: the runner received SIGINT\n");
  EXPECT_EQ(shell("fsck.fat -n " + image), 0);
  EXPECT_EQ(run_command({runner(), "--volume", image, mendir(), "/"}).out, "mendir: repaired 0 entries under /\n");
  // A program waiting for input that never comes.
  result = run_command({runner(), "--timeout", "600", guest(), "echo", "x"}, {.keep_open = true, .signal_on_output = SIGTERM});
  EXPECT_EQ(result.status, 128 + SIGTERM);
  result = run_command({runner(), "--timeout", "0.3", guest(), "spin"});
  EXPECT_EQ(result.status, 124);
  EXPECT_EQ(result.err, "vornos-run: program ended: it ran longer than its --timeout of 0.3 seconds\n");
}

// A write and a read with 2 GiB counts on a 64 MiB buffer: served in pieces, never whole.
TEST_F(Runner, HugeCountsAreServedInPieces) {
  const auto result = run_command({runner(), guest(), "io"}, {std::string(100000, 'i')});
  EXPECT_EQ(result.status, 0);
  EXPECT_GE(result.out.size(), size_t{64} << 20);
  EXPECT_GT(result.peak_rss_kib, 0);
  EXPECT_LT(result.peak_rss_kib, 16 * 1024) << "KiB while serving 64 MiB";
}

TEST_F(Runner, NamesAreShownEscapedInEveryLine) {
  EXPECT_EQ(printable("a\x1b[2J\nb\\ \x7f é \xc2\x9b \xff\xc3"), "a\\x1b[2J\\x0ab\\\\ \\x7f é \\xc2\\x9b \\xff\\xc3");
  const std::string program = dir_ + "/x\x1b[31m\nvornos-run: forged";
  std::ofstream(program) << "text";
  auto result = run_command({runner(), program});
  EXPECT_EQ(result.status, 127);
  EXPECT_EQ(result.err, "vornos-run: cannot run " + dir_ + "/x\\x1b[31m\\x0avornos-run: forged: not executable (no execute permission)\n");
  // A long name on the volume holding ESC.
  const std::string image = damaged_volume("longnamX.txt", '\x1b');
  result = run_command({runner(), "--volume", image, "--log-repairs", mendir(), "/"});
  EXPECT_EQ(result.out, "mendir: repaired 1 entries under /\n");
  EXPECT_EQ(result.err, "vornos-run: repaired /longnam\\x1b.txt: attribute 0x30 -> 0x20 (R5)\n");
}


const std::vector<std::string> kReadsOneByte{guest(), "status"};

// Signals from outside while the program waits in a call: those whose default is to
// ignore change nothing; the others end it, with the address where it was when seen.
TEST(Tracee, SignalsTakeTheirDefaultCourse) {
  for (const auto& [signals, ended_by] : {std::pair{std::vector{SIGCHLD, SIGWINCH, SIGURG, SIGCONT}, 0},
                                         {std::vector{SIGTERM}, SIGTERM}, {std::vector{SIGKILL}, SIGKILL}}) {
    Tracee tracee(kReadsOneByte[0], kReadsOneByte);
    ASSERT_EQ(tracee.next_trap().kind, TrapEvent::Kind::call);
    for (int signal : signals) ASSERT_EQ(::kill(tracee.pid(), signal), 0);
    tracee.answer(0);
    const TrapEvent next = tracee.next_trap();
    EXPECT_EQ(next.kind, ended_by == 0 ? TrapEvent::Kind::call : TrapEvent::Kind::killed);
    EXPECT_EQ(next.signal, ended_by);
    EXPECT_EQ(next.have_eip, ended_by == SIGTERM);
  }
}

}  // namespace
}  // namespace vornos::kernel
