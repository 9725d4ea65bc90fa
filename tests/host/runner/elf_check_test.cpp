// The program check on crafted ELF headers (one fault each), the runner's command line, and
// the traced process's signals.
#include <elf.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "platform/elf_check.h"
#include "base/host_failure.h"
#include "platform/tracee.h"
#include "runner/options.h"

namespace vornos::kernel {
namespace {

// ELF header and program headers of a static executable: a code and a data segment.
struct Image {
  // Type, machine, version, entry, program headers' offset, ..., their entry size, ...
  Elf32_Ehdr header{{ELFMAG0, ELFMAG1, ELFMAG2, ELFMAG3, ELFCLASS32, ELFDATA2LSB}, ET_EXEC, EM_386, 0, 0x400100,
                    sizeof(Elf32_Ehdr), 0, 0, 0, sizeof(Elf32_Phdr), 0, 0, 0, 0};
  std::vector<Elf32_Phdr> segments{load(0x400000, 0, PF_R | PF_X), load(0x401000, 0x1000, PF_R | PF_W)};
  static Elf32_Phdr load(uint32_t address, uint32_t offset, uint32_t flags) {
    return {PT_LOAD, offset, address, address, 0x100, 0x1000, flags, 0x1000};
  }
  std::vector<std::byte> bytes(size_t size = 0x1100) const {
    Elf32_Ehdr written = header;
    written.e_phnum = static_cast<Elf32_Half>(segments.size());
    std::vector<std::byte> out(std::max(size, sizeof written + segments.size() * sizeof(Elf32_Phdr)));
    std::memcpy(out.data(), &written, sizeof written);
    if (!segments.empty()) std::memcpy(out.data() + sizeof written, segments.data(), segments.size() * sizeof(Elf32_Phdr));
    return out;
  }
};

TEST(ElfCheck, RefusesEachFaultWithItsReason) {
  const struct {
    std::function<void(Image&)> fault;
    std::string reason;
  } cases[] = {
      {[](Image&) {}, ""},
      {[](Image& i) { i.header.e_ident[EI_MAG1] = 'X'; }, "not an ELF file"},
      {[](Image& i) { i.header.e_ident[EI_CLASS] = ELFCLASS64; }, "a 64-bit ELF file, not a 32-bit one"},
      {[](Image& i) { i.header.e_ident[EI_DATA] = ELFDATA2MSB; }, "not a little-endian ELF file"},
      {[](Image& i) { i.header.e_machine = EM_ARM; }, "an ELF file for machine 40, not for x86 (3)"},
      {[](Image& i) { i.header.e_type = ET_DYN; }, "a position-independent or shared ELF file, not a static executable"},
      {[](Image& i) { i.header.e_type = ET_REL; }, "an ELF file of type 1, not an executable"},
      {[](Image& i) { i.segments.clear(); }, "an ELF executable without program headers"},
      {[](Image& i) { i.header.e_phentsize = 56; }, "an ELF file with program headers of an unexpected size"},
      {[](Image& i) { i.segments.resize(129, i.segments[0]); }, "an ELF file with 129 program headers (Linux loads at most 128)"},
      {[](Image& i) { i.header.e_phoff = 0xFFFFFFF0; }, "an ELF file whose program headers run past its end"},
      {[](Image& i) { i.segments.push_back(Image::load(0, 0, 0)), i.segments.back().p_type = PT_INTERP; }, "a dynamically linked ELF file (it names an interpreter)"},
      {[](Image& i) { i.segments.push_back(Image::load(0, 0, 0)), i.segments.back().p_type = PT_DYNAMIC; }, "a dynamically linked ELF file (it has a dynamic section)"},
      {[](Image& i) { i.segments = {Elf32_Phdr{}}; }, "an ELF executable without loadable segments"},
      {[](Image& i) { i.segments[1].p_filesz = 0x1000; }, "an ELF file whose segments run past its end"},
      {[](Image& i) { i.segments[1].p_memsz = 0x80; }, "an ELF file with a segment larger in the file than in memory"},
      {[](Image& i) { i.segments[1].p_vaddr = 0xFFFFF000; },
       "an ELF file with a segment at 0xfffff000..0x100000000, beyond the 32-bit address space (which ends at 0xffffe000)"},
      {[](Image& i) { i.segments[1].p_vaddr = 0xFFFFE000; i.segments[1].p_memsz = 0x80000000; },
       "an ELF file with a segment at 0xffffe000..0x17fffe000, beyond the 32-bit address space (which ends at 0xffffe000)"},
      {[](Image& i) { i.segments[1].p_vaddr = 0x401800; },
       "an ELF file with a segment whose address and file offset differ modulo the page size"},
      {[](Image& i) { i.header.e_entry = 0x402000; }, "an ELF file whose entry point 0x402000 lies in none of its segments"},
  };
  for (const auto& c : cases) {
    Image image;
    c.fault(image);
    EXPECT_EQ(check_program_image(image.bytes()), c.reason);
  }
  const std::vector<std::byte> whole = Image{}.bytes();
  EXPECT_EQ(check_program_image(std::span(whole).first(20)), "a truncated ELF header");
}

std::optional<Options> parse(std::vector<const char*> arguments, std::string& error) {
  arguments.insert(arguments.begin(), "vornos-run");
  return parse_options(static_cast<int>(arguments.size()), arguments.data(), error);
}

TEST(Options, EveryOptionAndTheProgramsOwnArguments) {
  std::string error;
  const auto o = parse({"--trace", "--test-hooks", "--log-repairs", "--dry-run", "--read-only", "--timeout=1.5", "--volume",
                        "v.img", "--codepage", "850", "prog", "--trace", "-x"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_TRUE(o->trace && o->test_hooks && o->log_repairs && o->dry_run && o->read_only && !o->no_volume && !o->help);
  EXPECT_EQ(o->timeout_seconds, 1.5);
  EXPECT_EQ(o->code_page, 850u);
  EXPECT_EQ(o->volume, "v.img");
  EXPECT_EQ(o->program, (std::vector<std::string>{"prog", "--trace", "-x"}));
  EXPECT_EQ(parse({"--", "--trace"}, error)->program, std::vector<std::string>{"--trace"});
  EXPECT_EQ(parse({"--volume=w.img", "--timeout", "0", "p"}, error)->volume, "w.img");
  EXPECT_TRUE(parse({"--no-volume", "p"}, error)->no_volume);
  EXPECT_EQ(parse({"p"}, error)->code_page, 437u);
  EXPECT_EQ(parse({"--codepage=850", "--codepage=437", "p"}, error)->code_page, 437u);
  EXPECT_TRUE(parse({"-h"}, error)->help);
  // The debugger needs the emulated platform: --gdb chooses it.
  const auto debugged = parse({"--gdb", "1234", "--core", "c.core", "p"}, error);
  ASSERT_TRUE(debugged) << error;
  EXPECT_EQ(debugged->gdb_port, 1234);
  EXPECT_EQ(debugged->platform, Platform::emulated);
  EXPECT_EQ(debugged->core_file, "c.core");
  EXPECT_EQ(parse({"--gdb", "0", "p"}, error)->gdb_port, 0);
  const auto disk = parse({"--partition", "5", "--snapshot", "--volume", "card.img", "p"}, error);
  ASSERT_TRUE(disk) << error;
  EXPECT_EQ(disk->partition, 5u);
  EXPECT_TRUE(disk->snapshot);
  EXPECT_EQ(parse({"--partition=12", "p"}, error)->partition, 12u);
  EXPECT_FALSE(parse({"p"}, error)->partition);
  EXPECT_FALSE(parse({"p"}, error)->snapshot);
}

TEST(Options, UsageErrorsSayWhatIsWrong) {
  const struct {
    std::vector<const char*> arguments;
    std::string error;
  } cases[] = {
      {{"--frobnicate", "p"}, "unknown option --frobnicate"},
      {{"--volume"}, "--volume needs an image file"},
      {{"--volume=", "p"}, "--volume needs an image file"},
      {{"--volume", "a", "--no-volume", "p"}, "--volume and --no-volume exclude each other"},
      {{"--timeout"}, "--timeout needs a number of seconds"},
      {{"--timeout", "1e3", "p"}, "--timeout needs a number of seconds, not '1e3'"},
      {{"--timeout", "999999999", "p"}, "--timeout needs a number of seconds, not '999999999'"},
      {{"-o"}, "-o needs a file for the trace"},
      {{"--gdb"}, "--gdb needs a TCP port (0-65535; 0: any free one)"},
      {{"--gdb", "65536", "p"}, "--gdb needs a TCP port (0-65535; 0: any free one)"},
      {{"--gdb", "12ab", "p"}, "--gdb needs a TCP port (0-65535; 0: any free one)"},
      {{"--gdb", "1", "--platform", "ptrace", "p"}, "--gdb runs the program on the emulated platform: it excludes --platform ptrace"},
      {{"--core"}, "--core needs a file for the core"},
      {{"--partition"}, "--partition needs a partition number"},
      {{"--partition", "0", "p"}, "--partition needs a partition number (1, 2, ...), not '0'"},
      {{"--partition=", "p"}, "--partition needs a partition number (1, 2, ...), not ''"},
      {{"--partition", "+2", "p"}, "--partition needs a partition number (1, 2, ...), not '+2'"},
      {{"--partition", "2x", "p"}, "--partition needs a partition number (1, 2, ...), not '2x'"},
      {{"--partition", "99999999999", "p"}, "--partition needs a partition number (1, 2, ...), not '99999999999'"},
      {{"--partition", "1", "--no-volume", "p"}, "--partition needs a volume, not --no-volume"},
      {{"--snapshot", "--no-volume", "p"}, "--snapshot needs a volume, not --no-volume"},
      {{"--codepage"}, "--codepage needs the number of a code page: 437 or 850"},
      {{"--codepage", "1252", "p"}, "--codepage needs 437 or 850, not '1252'"},
      {{"--codepage", "85o", "p"}, "--codepage needs 437 or 850, not '85o'"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(parse(c.arguments, error));
    EXPECT_EQ(error, c.error);
  }
}

// Signals from outside while the program waits in a call: those whose default is to
// ignore change nothing; the others end it, with the address where it was when seen.
TEST(Tracee, SignalsTakeTheirDefaultCourse) {
  const std::vector<std::string> reads_input{VORNOS_TEST_GUEST, "echo"};
  try {
    Tracee probe(reads_input[0], reads_input);
  } catch (const ExecFailure& failure) {
    if (failure.host_errno() == ENOEXEC) GTEST_SKIP() << "this Linux does not execute 32-bit x86 programs";
    throw;
  }
  for (const auto& [signals, ended_by] : {std::pair{std::vector{SIGCHLD, SIGWINCH, SIGURG, SIGCONT}, 0},
                                         {std::vector{SIGTERM}, SIGTERM}, {std::vector{SIGKILL}, SIGKILL}}) {
    Tracee tracee(reads_input[0], reads_input);
    ASSERT_EQ(tracee.next_trap().kind, TrapEvent::Kind::call);
    for (int signal : signals) ASSERT_EQ(::kill(tracee.pid(), signal), 0);
    tracee.answer(0);
    const TrapEvent next = tracee.next_trap();
    EXPECT_EQ(next.kind, ended_by == 0 ? TrapEvent::Kind::call : TrapEvent::Kind::killed);
    EXPECT_EQ(next.signal, ended_by);
    EXPECT_EQ(next.have_eip, ended_by == SIGTERM);
  }
  // A signal the runner handles (a stop, the timeout) interrupts its wait; the wait goes on.
  static pid_t spinning = 0;
  struct sigaction on_alarm {};
  on_alarm.sa_handler = [](int) { ::kill(spinning, SIGKILL); };
  sigaction(SIGALRM, &on_alarm, nullptr);
  Tracee spin(VORNOS_TEST_GUEST, {VORNOS_TEST_GUEST, "spin"});
  spinning = spin.pid();
  ASSERT_EQ(spin.next_trap().kind, TrapEvent::Kind::call);  // its "ready" write
  spin.answer(6);
  ualarm(100000, 0);
  EXPECT_EQ(spin.next_trap().signal, SIGKILL);
  signal(SIGALRM, SIG_DFL);
}

}  // namespace
}  // namespace vornos::kernel
