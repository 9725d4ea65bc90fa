// The lines printed when a program dies of a signal: where it stopped and the calls that led there.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "debug/elf_program.h"
#include "debug/line_symbolizer.h"

namespace vornos::debug {

// The program's state when the signal hit it. Signals are Linux's numbers.
struct CrashState {
  int signal = 0;
  uint32_t eip = 0, esp = 0, ebp = 0;
  std::optional<uint32_t> fault_address;  // the address a SIGSEGV or SIGBUS was about
};

// A 32-bit word of the program's memory; nothing when it is out of reach.
using ReadWord = std::function<std::optional<uint32_t>(uint32_t address)>;

// eip, then the return address of each frame found by following the saved frame pointers, up to
// the frame of main when the symbols name it. The walk stops at a frame pointer that is null,
// unaligned, unreadable or not above the one before, and after `limit` frames. A fault outside
// every function, or at a function's first instruction (called through a bad pointer, or a
// stack out of room), has not pushed its frame yet: the return address is then at esp.
std::vector<uint32_t> frame_addresses(const CrashState& state, const ElfProgram* program, const ReadWord& read,
                                      size_t limit = 64);

// Where the symbols and the debug information place the addresses.
struct Whereabouts {
  std::optional<SymbolHit> symbol;
  std::vector<SourceFrame> source;  // innermost first; empty without line information
};

// The report: `killed_line` (the runner's "program killed by ..." line) followed by ", address
// 0x0000abcd" for SIGSEGV and SIGBUS, " in function+0xOFFSET" with symbols, " at file:line" with
// debug information; then one line per frame, "#N 0xADDR function (file:line)", "#N 0xADDR
// function+0xOFFSET" without debug information, "#N 0xADDR" without symbols. Code inlined into
// its caller gets a line of its own, at the same address. Every line ends with a newline.
std::string format_crash_report(std::string_view killed_line, const CrashState& state,
                                const std::vector<uint32_t>& frames, const std::vector<Whereabouts>& places);

// All of it for a program file: its symbols, then its lines when `symbolizer` names a tool.
std::string crash_report(std::string_view killed_line, const CrashState& state, const std::string& program_path,
                         const std::optional<std::string>& symbolizer, const ReadWord& read);

}  // namespace vornos::debug
