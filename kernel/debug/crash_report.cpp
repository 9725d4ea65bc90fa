// The lines printed when a program dies of a signal: where it stopped and the calls that led there.
#include "debug/crash_report.h"

#include <cxxabi.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace vornos::debug {
namespace {

std::string hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

// C++ names are shown as written (the program's ABI is the host compiler's, so its demangler serves).
std::string readable_name(const std::string& name) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
  if (status != 0 || demangled == nullptr) return name;
  std::string readable = demangled;
  std::free(demangled);
  return readable;
}

std::string symbol_text(const SymbolHit& hit) {
  char offset[16];
  std::snprintf(offset, sizeof offset, "+0x%x", hit.offset);
  return readable_name(hit.name) + offset;
}

std::string line_text(const SourceFrame& frame) { return frame.file + ":" + std::to_string(frame.line); }

bool is_main(const ElfProgram* program, uint32_t address) {
  if (program == nullptr) return false;
  const auto hit = program->function_at(address);
  return hit && hit->name == "main";
}

}  // namespace

std::vector<uint32_t> frame_addresses(const CrashState& state, const ElfProgram* program, const ReadWord& read,
                                      size_t limit) {
  std::vector<uint32_t> frames = {state.eip};
  if (is_main(program, state.eip)) return frames;
  if (program != nullptr && program->has_symbols()) {
    const auto hit = program->function_at(state.eip);
    if (!hit || hit->offset == 0) {
      const auto return_address = read(state.esp);
      if (return_address && *return_address != 0) {
        frames.push_back(*return_address);
        if (is_main(program, *return_address - 1)) return frames;
      }
    }
  }
  uint32_t frame_pointer = state.ebp;
  while (frames.size() < limit && frame_pointer != 0 && frame_pointer % 4 == 0) {
    const auto saved = read(frame_pointer);
    const auto return_address = read(frame_pointer + 4);
    if (!saved || !return_address || *return_address == 0) break;
    frames.push_back(*return_address);
    // A return address lies just past its call: the call is what names the caller and its line.
    if (is_main(program, *return_address - 1)) break;
    if (*saved <= frame_pointer) break;
    frame_pointer = *saved;
  }
  return frames;
}

std::string format_crash_report(std::string_view killed_line, const CrashState& state,
                                const std::vector<uint32_t>& frames, const std::vector<Whereabouts>& places) {
  std::string report(killed_line);
  if (state.fault_address && (state.signal == SIGSEGV || state.signal == SIGBUS)) {
    report += ", address " + hex8(*state.fault_address);
  }
  if (!places.empty()) {
    // The function that holds the code (inlined code included) by its symbol, the line by the
    // innermost source frame: the statement that faulted.
    const Whereabouts& top = places.front();
    if (top.symbol) report += " in " + symbol_text(*top.symbol);
    if (!top.source.empty() && !top.source.front().file.empty()) report += " at " + line_text(top.source.front());
  }
  report += '\n';
  size_t number = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const Whereabouts none;
    const Whereabouts& place = i < places.size() ? places[i] : none;
    bool printed = false;
    for (const SourceFrame& source : place.source) {
      if (source.function.empty() || source.file.empty()) continue;
      report += "#" + std::to_string(number++) + " " + hex8(frames[i]) + " " + source.function + " (" +
                line_text(source) + ")\n";
      printed = true;
    }
    if (printed) continue;
    report += "#" + std::to_string(number++) + " " + hex8(frames[i]) +
              (place.symbol ? " " + symbol_text(*place.symbol) : "") + "\n";
  }
  return report;
}

std::string crash_report(std::string_view killed_line, const CrashState& state, const std::string& program_path,
                         const std::optional<std::string>& symbolizer, const ReadWord& read) {
  const auto program = ElfProgram::load(program_path);
  const ElfProgram* symbols = program && program->has_symbols() ? &*program : nullptr;
  const std::vector<uint32_t> frames = frame_addresses(state, symbols, read);
  if (symbols == nullptr) return format_crash_report(killed_line, state, frames, {});

  // Past frame 0 each address is a return address: the call before it is looked up.
  std::vector<uint32_t> lookups;
  for (size_t i = 0; i < frames.size(); ++i) lookups.push_back(i == 0 ? frames[i] : frames[i] - 1);
  std::vector<Whereabouts> places(frames.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    places[i].symbol = symbols->function_at(lookups[i]);
    // The offset shown is the frame's own address's, as a debugger shows it.
    if (places[i].symbol && i > 0) places[i].symbol->offset += 1;
  }
  if (symbols->has_debug_info() && symbolizer) {
    if (const auto lines = symbolize(*symbolizer, program_path, lookups)) {
      for (size_t i = 0; i < frames.size(); ++i) places[i].source = (*lines)[i];
    }
  }
  return format_crash_report(killed_line, state, frames, places);
}

}  // namespace vornos::debug
