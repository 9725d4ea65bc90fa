// Option parsing and the help text.
#include "runner/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string_view>

#include "fat32/code_page.h"

namespace vornos::kernel {
namespace {

// "2", "0.5": a plain decimal number of seconds, at most about three years.
bool parse_seconds(std::string_view text, double& seconds) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  return error == std::errc() && end == text.data() + text.size() && std::isfinite(seconds) && seconds <= 1e8;
}

// "1", "5": a partition number as fdisk and sgdisk print them.
bool parse_partition(std::string_view text, uint32_t& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size() && number >= 1;
}

// The numbers --codepage takes, for its messages: "437 or 850".
std::string code_page_numbers() {
  std::string numbers;
  for (size_t i = 0; i < std::size(fat32::kCodePages); ++i) {
    if (i > 0) numbers += i + 1 == std::size(fat32::kCodePages) ? " or " : ", ";
    numbers += std::to_string(fat32::kCodePages[i]->number());
  }
  return numbers;
}

bool parse_code_page(std::string_view text, unsigned& number) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size() && fat32::find_code_page(number) != nullptr;
}

}  // namespace

// The options that only switch something on.
struct Flag {
  std::string_view name;
  bool Options::*field;
};
constexpr Flag kFlags[] = {
    {"-h", &Options::help},           {"--help", &Options::help},
    {"--trace", &Options::trace},     {"--test-hooks", &Options::test_hooks},
    {"--log-repairs", &Options::log_repairs}, {"--dry-run", &Options::dry_run},
    {"--read-only", &Options::read_only},     {"--no-volume", &Options::no_volume},
    {"--snapshot", &Options::snapshot},
};

std::optional<Options> parse_options(int argc, const char* const* argv, std::string& error) {
  Options options;
  int index = 1;
  for (; index < argc; ++index) {
    const std::string_view argument = argv[index];
    if (argument == "--") {
      ++index;
      break;
    }
    if (argument.size() < 2 || argument[0] != '-') break;
    if (const auto flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                       [&](const Flag& f) { return f.name == argument; });
        flag != std::end(kFlags)) {
      options.*(flag->field) = true;
    } else if (argument == "-o") {
      if (index + 1 >= argc || argv[index + 1][0] == '\0') {
        error = "-o needs a file for the trace";
        return std::nullopt;
      }
      options.trace_file = argv[++index];
      options.trace = true;
    } else if (argument == "--timeout" || argument.starts_with("--timeout=")) {
      const bool separate = argument == "--timeout";
      if (separate && index + 1 >= argc) {
        error = "--timeout needs a number of seconds";
        return std::nullopt;
      }
      const std::string_view value = separate ? std::string_view(argv[++index]) : argument.substr(10);
      if (!parse_seconds(value, options.timeout_seconds)) {
        error = "--timeout needs a number of seconds, not '" + std::string(value) + "'";
        return std::nullopt;
      }
    } else if (argument == "--partition" || argument.starts_with("--partition=")) {
      const bool separate = argument == "--partition";
      if (separate && index + 1 >= argc) {
        error = "--partition needs a partition number";
        return std::nullopt;
      }
      const std::string_view value = separate ? std::string_view(argv[++index]) : argument.substr(12);
      uint32_t number = 0;
      if (!parse_partition(value, number)) {
        error = "--partition needs a partition number (1, 2, ...), not '" + std::string(value) + "'";
        return std::nullopt;
      }
      options.partition = number;
    } else if (argument == "--codepage" || argument.starts_with("--codepage=")) {
      const bool separate = argument == "--codepage";
      if (separate && index + 1 >= argc) {
        error = "--codepage needs the number of a code page: " + code_page_numbers();
        return std::nullopt;
      }
      const std::string_view value = separate ? std::string_view(argv[++index]) : argument.substr(11);
      if (!parse_code_page(value, options.code_page)) {
        error = "--codepage needs " + code_page_numbers() + ", not '" + std::string(value) + "'";
        return std::nullopt;
      }
    } else if (argument == "--platform") {
      const std::string_view name = index + 1 < argc ? std::string_view(argv[++index]) : std::string_view();
      if (name == "ptrace" || name == "emulated") {
        options.platform = name == "ptrace" ? Platform::ptrace : Platform::emulated;
      } else {
        error = "--platform needs ptrace or emulated";
        return std::nullopt;
      }
    } else if (argument == "--gdb") {
      const std::string_view port = index + 1 < argc ? std::string_view(argv[++index]) : std::string_view();
      unsigned value = 0;
      const auto [end, failure] = std::from_chars(port.data(), port.data() + port.size(), value);
      if (port.empty() || failure != std::errc() || end != port.data() + port.size() || value > 65535) {
        error = "--gdb needs a TCP port (0-65535; 0: any free one)";
        return std::nullopt;
      }
      options.gdb_port = static_cast<uint16_t>(value);
    } else if (argument == "--core") {
      if (index + 1 >= argc || argv[index + 1][0] == '\0') {
        error = "--core needs a file for the core";
        return std::nullopt;
      }
      options.core_file = argv[++index];
    } else if (argument == "--volume" || argument.starts_with("--volume=")) {
      std::string image;
      if (argument == "--volume") {
        if (index + 1 >= argc) {
          error = "--volume needs an image file";
          return std::nullopt;
        }
        image = argv[++index];
      } else {
        image = std::string(argument.substr(std::string_view("--volume=").size()));
      }
      if (image.empty()) {
        error = "--volume needs an image file";
        return std::nullopt;
      }
      options.volume = image;
    } else {
      error = "unknown option " + std::string(argument);
      return std::nullopt;
    }
  }
  for (; index < argc; ++index) options.program.emplace_back(argv[index]);
  if (options.help) return options;
  if (options.volume && options.no_volume) {
    error = "--volume and --no-volume exclude each other";
    return std::nullopt;
  }
  if ((options.partition || options.snapshot) && options.no_volume) {
    error = std::string(options.partition ? "--partition" : "--snapshot") + " needs a volume, not --no-volume";
    return std::nullopt;
  }
  if (options.program.empty()) {
    error = "no PROGRAM given";
    return std::nullopt;
  }
  if (options.gdb_port) {
    // The stub needs the program's registers and code at every instruction: the emulated CPU.
    if (options.platform == Platform::ptrace) {
      error = "--gdb runs the program on the emulated platform: it excludes --platform ptrace";
      return std::nullopt;
    }
    options.platform = Platform::emulated;
  }
  return options;
}

std::string usage_text() {
  return R"(usage: vornos-run [options] PROGRAM [ARGS...]

Runs PROGRAM, a static 32-bit x86 ELF executable built for the system, as a traced
Linux process (or on an emulated CPU where Linux cannot run 32-bit x86 code) and serves
its kernel calls (int 0x80) itself. PROGRAM and ARGS become
the program's argument vector. Descriptor 0 reads this command's standard input,
descriptor 1 writes its standard output, descriptor 2 its standard error.

options:
  --volume IMAGE   attach the FAT32 image file IMAGE as the program's file system
                   (the file calls and repair_dirents work on it). Without this
                   option the bundled sample volume is attached when it exists: the
                   file share/vornos/sample.img beside the directory of this command
                   (build/share/vornos/sample.img for build/bin/vornos-run),
                   as a snapshot (see --snapshot; a line on standard error says
                   so when the program writes): a run that does not name the
                   sample never changes it. When it does not exist, a line on
                   standard error says so. IMAGE may be a disk with an MBR or a
                   GPT in front (a dump of a card, a block device): its only
                   FAT32 partition is attached, and named with --trace or
                   --log-repairs; with several the runner lists them and stops.
  --partition N    attach partition N of the disk (numbered as fdisk and sgdisk
                   number them: 1-4 primary, 5 on logical; GPT entries from 1).
                   Nothing outside the partition is ever read or written.
  --snapshot       open the image read-only and keep the program's writes in a
                   private copy-on-write layer (in memory, then in an unlinked
                   temporary file) that the program reads back and that is
                   dropped at the end: the image stays byte for byte as it was.
  --no-volume      attach no volume: calls that need one answer -38.
  --read-only      attach the volume read-only: the image is never opened for
                   writing, and every call that would write answers -30.
  --codepage N     the OEM code page the volume's short names are written in:
                   437 (the default: DOS's, Windows' and Linux's US page) or 850
                   (western Europe; mtools' default). Names are looked up, shown
                   and stored in it.
  --timeout SECONDS  end the program when it runs longer than SECONDS (decimals
                   allowed; 0: no limit) and exit with status 124.
  --dry-run        open the volume read-only; repairs are computed and logged but
                   nothing is written to the image.
  --log-repairs    print one line per repaired directory entry on standard error:
                   its path, old and new attribute bytes, and the rule(s) applied.
  --trace          print every kernel call on standard error as it is served, one
                   line each: name, decoded arguments, result; the last line says
                   how the program ended ("+++ exited with 3 +++").
  -o FILE          write the trace to FILE instead (implies --trace).
  --test-hooks     serve the private test-control call (0x7E57) used by the test
                   harness: call recording, output capture, scripted answers.
                   Without it that call answers -38 like any unknown call.
  --platform NAME  where programs run: "ptrace" (traced native processes) or
                   "emulated" (an i386 CPU emulated inside this command). By default
                   ptrace, and emulated where Linux cannot execute 32-bit x86 code.
  --gdb PORT       wait, before the program's first instruction, for gdb on
                   127.0.0.1:PORT (0: a free port; a line on standard error names it)
                   and let it control the first program (runs it on the emulated
                   platform): in gdb, "target remote 127.0.0.1:PORT".
  --core FILE      when a signal ends the first program, write an ELF core file of
                   it to FILE ("gdb PROGRAM FILE" opens it; emulated platform).
  -h, --help       print this text and exit.
  --               end of options: the next argument is PROGRAM.

exit status:
  the program's own exit status (low 8 bits of its exit call), or
  128+N            the program was killed by signal N (a line on standard error
                   names the signal, the instruction address, the fault address
                   and, from the program's symbols, the function and line, then
                   the calls that led there, one line each); 141 (SIGPIPE),
                   without a line, when it wrote to this command's standard output
                   after the reader of that pipe had gone
  2                the command line is wrong
  124              the program ran longer than --timeout and was ended
  128+N            the runner received signal N (Ctrl-C: 130, SIGTERM: 143,
                   SIGHUP: 129) and ended the program after the call it was
                   serving; the volume is detached as after any run
  125              the runner itself failed (a ptrace or wait error, named on
                   standard error)
  126              the volume image cannot be used (the reason is printed)
  127              PROGRAM is not a static 32-bit x86 ELF executable that Linux can
                   load, or cannot be read (the reason is printed); nothing was run
)";
}

}  // namespace vornos::kernel
