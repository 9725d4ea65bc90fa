// Fuzz target: the input as a program file and as the symbolizer's answer. Whatever it holds,
// nothing may crash, every function found must be found again by its own address, and a crash
// report over it must name no frame twice and end each line.
#include <cstdlib>
#include <string_view>

#include "debug/crash_report.h"
#include "debug/elf_program.h"
#include "debug/line_symbolizer.h"

using namespace vornos::debug;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (size_t count = 0; count < 4; ++count) {
    if (const auto blocks = parse_symbolizer_output(text, count); blocks && blocks->size() != count) std::abort();
  }
  const auto program = ElfProgram::parse({data, size});
  if (!program) return 0;
  for (const FunctionSymbol& function : program->functions()) {
    if (function.size == 0) continue;
    const auto hit = program->function_at(function.address);
    if (!hit || hit->offset != 0) std::abort();
  }
  // A stack made of the input's own words.
  const ReadWord read = [&](uint32_t address) -> std::optional<uint32_t> {
    if (address > size || size - address < 4) return std::nullopt;
    uint32_t word = 0;
    for (int i = 3; i >= 0; --i) word = word << 8 | data[address + static_cast<uint32_t>(i)];
    return word;
  };
  const CrashState state{11, size > 4 ? *read(0) : 0, 8, 16, 0};
  const auto frames = frame_addresses(state, &*program, read);
  if (frames.empty() || frames.size() > 64) std::abort();
  std::vector<Whereabouts> places;
  for (uint32_t frame : frames) places.push_back({program->function_at(frame), {}});
  const std::string report = format_crash_report("killed", state, frames, places);
  if (report.empty() || report.back() != '\n') std::abort();
  return 0;
}
