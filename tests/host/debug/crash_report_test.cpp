// Crash reports of a program built with the SDK: symbols, lines from its debug information, and
// a backtrace along its frame pointers up to main.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <csignal>
#include <cstdio>

#include "debug/crash_report.h"
#include "debug/elf_program.h"
#include "debug/line_symbolizer.h"
#include "test_program.h"

namespace vornos::debug {
namespace {

using testing::CrashScene;
using testing::load_scene;
using testing::source_line;

constexpr std::string_view kKilled = "vornos-run: program killed by SIGSEGV at eip 0x";
const std::string kSource = "tests/host/debug/programs/crash_program.c";

std::string hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

std::string offset_in(const CrashScene& scene, const char* function, uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "+0x%x", address - *scene.program.symbol_address(function));
  return function + std::string(text);
}

std::string killed_line(const CrashScene& scene) { return std::string(kKilled) + hex8(scene.store).substr(2); }

std::string report_of(const CrashScene& scene, const std::optional<std::string>& symbolizer) {
  return crash_report(killed_line(scene), scene.state(), scene.path, symbolizer,
                      [&](uint32_t address) { return scene.read_word(address); });
}

TEST(CrashReport, NamesFunctionsAndLinesUpToMainWithDebugInformation) {
  CrashScene scene;
  ASSERT_NO_FATAL_FAILURE(load_scene(CRASH_PROGRAM, scene));
  ASSERT_TRUE(scene.program.has_debug_info());
  const auto symbolizer = find_symbolizer();
  ASSERT_TRUE(symbolizer) << "llvm-symbolizer is installed with the toolchain (scripts/bootstrap.sh)";
  const std::string at = " (" + kSource + ":";
  const std::string expected =
      killed_line(scene) + ", address 0x00000000 in " + offset_in(scene, "store_through", scene.store) + " at " +
      kSource + ":" + std::to_string(source_line("/* the faulting store */")) + "\n" +
      "#0 " + hex8(scene.store) + " store_through" + at + std::to_string(source_line("/* the faulting store */")) + ")\n" +
      "#1 " + hex8(scene.return_to_middle) + " middle" + at + std::to_string(source_line("/* the call of store_through */")) + ")\n" +
      "#2 " + hex8(scene.return_to_outer) + " outer" + at + std::to_string(source_line("/* the call of middle */")) + ")\n" +
      "#3 " + hex8(scene.return_to_main) + " main" + at + std::to_string(source_line("/* the call of outer */")) + ")\n";
  EXPECT_EQ(report_of(scene, symbolizer), expected);
}

TEST(CrashReport, GivesFunctionAndOffsetWithoutDebugInformationOrWithoutTheTool) {
  for (const auto& [path, symbolizer] : {std::pair<std::string, std::optional<std::string>>{CRASH_PROGRAM "-symbols", find_symbolizer()},
                                         {CRASH_PROGRAM, std::nullopt}}) {
    CrashScene scene;
    ASSERT_NO_FATAL_FAILURE(load_scene(path, scene));
    const std::string expected =
        killed_line(scene) + ", address 0x00000000 in " + offset_in(scene, "store_through", scene.store) + "\n" +
        "#0 " + hex8(scene.store) + " " + offset_in(scene, "store_through", scene.store) + "\n" +
        "#1 " + hex8(scene.return_to_middle) + " " + offset_in(scene, "middle", scene.return_to_middle) + "\n" +
        "#2 " + hex8(scene.return_to_outer) + " " + offset_in(scene, "outer", scene.return_to_outer) + "\n" +
        "#3 " + hex8(scene.return_to_main) + " " + offset_in(scene, "main", scene.return_to_main) + "\n";
    EXPECT_EQ(report_of(scene, symbolizer), expected) << path;
  }
}

TEST(CrashReport, GivesAddressesOnlyForAStrippedProgram) {
  // The frames are those of the symbols build (the same code); the stripped file names none of them,
  // so the walk goes on past main to _start, whose frame pointer is null.
  CrashScene scene;
  ASSERT_NO_FATAL_FAILURE(load_scene(CRASH_PROGRAM "-symbols", scene));
  scene.path = CRASH_PROGRAM "-stripped";
  ASSERT_FALSE(ElfProgram::load(scene.path)->has_symbols());
  const std::string expected = killed_line(scene) + ", address 0x00000000\n" + "#0 " + hex8(scene.store) + "\n" +
                               "#1 " + hex8(scene.return_to_middle) + "\n" + "#2 " + hex8(scene.return_to_outer) +
                               "\n" + "#3 " + hex8(scene.return_to_main) + "\n" + "#4 " + hex8(scene.return_to_start) +
                               "\n";
  EXPECT_EQ(report_of(scene, find_symbolizer()), expected);
}

TEST(FrameAddresses, FollowsTheFramesAndStopsWhereTheChainIsBroken) {
  CrashScene scene;
  ASSERT_NO_FATAL_FAILURE(load_scene(CRASH_PROGRAM "-symbols", scene));
  const uint32_t bad_function = 0;
  struct Case {
    const char* what;
    CrashState state;
    std::map<uint32_t, uint32_t> changed;
    std::vector<uint32_t> frames;
  };
  CrashState through_null = scene.state();
  through_null.eip = bad_function;  // middle called a null function pointer: its return address at esp
  through_null.ebp = scene.ebp_middle;
  through_null.esp = CrashScene::kStackBase + 0xB00;
  CrashState at_entry = through_null;  // the first instruction of store_through faulted
  at_entry.eip = *scene.program.symbol_address("store_through");
  const Case cases[] = {
      {"a null frame pointer", scene.state(), {{scene.ebp_middle, 0}}, {scene.store, scene.return_to_middle, scene.return_to_outer}},
      {"a frame pointer that goes down", scene.state(), {{scene.ebp_middle, scene.ebp_store - 0x100}},
       {scene.store, scene.return_to_middle, scene.return_to_outer}},
      {"an unaligned frame pointer", scene.state(), {{scene.ebp_middle, scene.ebp_outer + 2}},
       {scene.store, scene.return_to_middle, scene.return_to_outer}},
      {"an unreadable frame pointer", scene.state(), {{scene.ebp_middle, 0x10000000}},
       {scene.store, scene.return_to_middle, scene.return_to_outer}},
      {"a null return address", scene.state(), {{scene.ebp_middle + 4, 0}}, {scene.store, scene.return_to_middle}},
      {"a call through a null pointer", through_null, {{through_null.esp, scene.return_to_middle}},
       {bad_function, scene.return_to_middle, scene.return_to_outer, scene.return_to_main}},
      {"a fault at a function's first instruction", at_entry, {{through_null.esp, scene.return_to_middle}},
       {at_entry.eip, scene.return_to_middle, scene.return_to_outer, scene.return_to_main}},
  };
  for (const Case& c : cases) {
    CrashScene changed = scene;
    for (const auto& [address, word] : c.changed) changed.write_word(address, word);
    EXPECT_EQ(frame_addresses(c.state, &changed.program, [&](uint32_t a) { return changed.read_word(a); }), c.frames)
        << c.what;
  }
  // A long chain ends at the limit.
  std::map<uint32_t, uint32_t> deep;
  for (uint32_t i = 0; i < 100; ++i) deep[0x1000 + 8 * i] = 0x1000 + 8 * (i + 1), deep[0x1004 + 8 * i] = 0x401000;
  const auto frames = frame_addresses({SIGSEGV, 0x401000, 0, 0x1000, {}}, nullptr, [&](uint32_t a) -> std::optional<uint32_t> {
    if (const auto it = deep.find(a); it != deep.end()) return it->second;
    return std::nullopt;
  });
  EXPECT_EQ(frames.size(), 64u);
}

TEST(FormatCrashReport, NamesTheFaultAddressForBusNotIll) {
  const struct {
    int signal;
    const char* line;
  } cases[] = {{SIGBUS, "killed, address 0x0000abcd\n#0 0x00401000\n"},
               {SIGILL, "killed\n#0 0x00401000\n"}};
  for (const auto& c : cases) {
    EXPECT_EQ(format_crash_report("killed", {c.signal, 0x401000, 0, 0, 0xabcd}, {0x401000}, {}), c.line) << c.signal;
  }
}

TEST(FormatCrashReport, GivesCodeInlinedIntoItsCallerALineOfItsOwn) {
  Whereabouts place{SymbolHit{"caller", 0x10}, {{"inlined", "a.c", 3}, {"caller", "a.c", 9}}};
  EXPECT_EQ(format_crash_report("killed", {SIGILL, 0x401010, 0, 0, {}}, {0x401010, 0x401100},
                                {place, {SymbolHit{"main", 0x20}, {{"main", "a.c", 20}}}}),
            "killed in caller+0x10 at a.c:3\n"
            "#0 0x00401010 inlined (a.c:3)\n"
            "#1 0x00401010 caller (a.c:9)\n"
            "#2 0x00401100 main (a.c:20)\n");
  // A C++ function's symbol is shown demangled.
  EXPECT_EQ(format_crash_report("killed", {SIGILL, 0x401010, 0, 0, {}}, {0x401010}, {{SymbolHit{"_ZN5shape4areaEv", 4}, {}}}),
            "killed in shape::area()+0x4\n#0 0x00401010 shape::area()+0x4\n");
}

TEST(SymbolizerOutput, ParsesBlocksOfFunctionAndLocation) {
  using Frames = std::vector<std::vector<SourceFrame>>;
  const struct {
    const char* what;
    const char* output;
    size_t addresses;
    std::optional<Frames> frames;
  } cases[] = {
      {"one address", "main\na/b.c:12:3\n\n", 1, Frames{{{"main", "a/b.c", 12}}}},
      {"inlined code", "inner\nb.c:3:1\nouter\nb.c:9:5\n\n", 1, Frames{{{"inner", "b.c", 3}, {"outer", "b.c", 9}}}},
      {"unknown", "??\n??:0:0\n\n", 1, Frames{{}}},
      {"a function without lines", "f\n??:0:0\n\n", 1, Frames{{{"f", "", 0}}}},
      {"a file with colons", "g\nC:/x.c:4:2\n\n", 1, Frames{{{"g", "C:/x.c", 4}}}},
      {"two addresses", "f\na.c:1:1\n\ng\na.c:2:1\n\n", 2, Frames{{{"f", "a.c", 1}}, {{"g", "a.c", 2}}}},
      {"fewer blocks than addresses", "f\na.c:1:1\n\n", 2, std::nullopt},
      {"a block without its location", "f\n\n", 1, std::nullopt},
      {"an unfinished block", "f\na.c:1:1\n", 1, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_symbolizer_output(c.output, c.addresses), c.frames) << c.what;
}

TEST(FindSymbolizer, TakesTheEnvironmentsChoiceFirst) {
  const char* before = std::getenv("VORNOS_SYMBOLIZER");
  const std::string saved = before ? before : "";
  ::setenv("VORNOS_SYMBOLIZER", "/bin/true", 1);
  EXPECT_EQ(find_symbolizer(), "/bin/true");
  ::setenv("VORNOS_SYMBOLIZER", "/nonexistent/llvm-symbolizer", 1);
  EXPECT_EQ(find_symbolizer(), std::nullopt) << "a chosen tool that is missing is not replaced by another";
  ::unsetenv("VORNOS_SYMBOLIZER");
  if (before) ::setenv("VORNOS_SYMBOLIZER", saved.c_str(), 1);
}

TEST(ElfProgram, RefusesWhatIsNoI386ProgramAndTrustsNoTableOutsideTheFile) {
  CrashScene scene;
  ASSERT_NO_FATAL_FAILURE(load_scene(CRASH_PROGRAM, scene));
  const std::vector<uint8_t>& good = scene.file;
  const auto changed = [&](size_t at, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> copy = good;
    std::copy(bytes.begin(), bytes.end(), copy.begin() + static_cast<ptrdiff_t>(at));
    return copy;
  };
  EXPECT_FALSE(ElfProgram::parse(std::vector<uint8_t>(good.begin(), good.begin() + 40))) << "shorter than its header";
  EXPECT_FALSE(ElfProgram::parse(changed(0, {'M', 'Z'}))) << "no ELF";
  EXPECT_FALSE(ElfProgram::parse(changed(4, {2}))) << "64-bit";
  EXPECT_FALSE(ElfProgram::parse(changed(18, {0x3e, 0}))) << "x86-64";
  EXPECT_FALSE(ElfProgram::parse(changed(28, {0xff, 0xff, 0xff, 0x7f}))) << "program headers past the end";
  const auto no_sections = ElfProgram::parse(changed(32, {0xff, 0xff, 0xff, 0x7f}));
  ASSERT_TRUE(no_sections) << "section headers past the end: a program without symbols";
  EXPECT_FALSE(no_sections->has_symbols());
  EXPECT_EQ(no_sections->segments().size(), scene.program.segments().size());
  const auto hit = scene.program.function_at(scene.store);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->name, "store_through");
  EXPECT_FALSE(scene.program.function_at(0x100)) << "below every function";
}

}  // namespace
}  // namespace vornos::debug
