// Option parsing and the help text.
#include "runner/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string_view>

namespace vornos::kernel {
namespace {

// "2", "0.5": a plain decimal number of seconds, at most about three years.
bool parse_seconds(std::string_view text, double& seconds) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  return error == std::errc() && end == text.data() + text.size() && std::isfinite(seconds) && seconds <= 1e8;
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
    } else if (argument == "--platform") {
      const std::string_view name = index + 1 < argc ? std::string_view(argv[++index]) : std::string_view();
      if (name == "ptrace" || name == "emulated") {
        options.platform = name == "ptrace" ? Platform::ptrace : Platform::emulated;
      } else {
        error = "--platform needs ptrace or emulated";
        return std::nullopt;
      }
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
  if (options.program.empty()) {
    error = "no PROGRAM given";
    return std::nullopt;
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
                   (build/share/vornos/sample.img for build/bin/vornos-run);
                   when it does not, a line on standard error says so.
  --no-volume      attach no volume: calls that need one answer -38.
  --read-only      attach the volume read-only: the image is never opened for
                   writing, and every call that would write answers -30.
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
  -h, --help       print this text and exit.
  --               end of options: the next argument is PROGRAM.

exit status:
  the program's own exit status (low 8 bits of its exit call), or
  128+N            the program was killed by signal N (a line on standard error
                   names the signal and the instruction address); 141 (SIGPIPE),
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
