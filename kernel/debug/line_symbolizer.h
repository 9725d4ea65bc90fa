// Source lines for code addresses, from the program's debug information, through LLVM's symbolizer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vornos::debug {

// One function an address lies in: more than one for code inlined into its caller, innermost first.
struct SourceFrame {
  std::string function;  // empty when unknown
  std::string file;      // empty when the line table does not cover the address
  uint32_t line = 0;
  bool operator==(const SourceFrame&) const = default;
};

// The symbolizer program: $VORNOS_SYMBOLIZER when set, else the one the build found, else the
// first of llvm-symbolizer and its versioned names on PATH. Nothing when there is none.
std::optional<std::string> find_symbolizer();

// The source frames of each address in `program` (empty for one that no debug information
// covers); nothing when the tool could not be run or its answer made no sense.
std::optional<std::vector<std::vector<SourceFrame>>> symbolize(const std::string& tool, const std::string& program,
                                                               std::span<const uint32_t> addresses);

// The tool's answer parsed: blocks of "function" and "file:line:column" lines, one block per
// address, each block ended by an empty line. Nothing when the blocks do not match the addresses.
std::optional<std::vector<std::vector<SourceFrame>>> parse_symbolizer_output(std::string_view output,
                                                                             size_t address_count);

}  // namespace vornos::debug
