// What a crash report needs of a 32-bit x86 program file: its function symbols, whether it carries
// debug information, and the segments it loads.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vornos::debug {

struct FunctionSymbol {
  std::string name;
  uint32_t address = 0;
  uint32_t size = 0;  // 0: up to the next function
};

struct LoadSegment {
  uint32_t address = 0;
  uint32_t file_offset = 0;
  uint32_t file_size = 0;
  uint32_t memory_size = 0;
  uint32_t flags = 0;  // PF_X 1, PF_W 2, PF_R 4
};

// A function and how far into it an address lies.
struct SymbolHit {
  std::string name;
  uint32_t offset = 0;
};

class ElfProgram {
 public:
  // Nothing when `bytes` are not a 32-bit little-endian x86 ELF file whose headers lie within it.
  // Sections or symbols that point outside the file are left out, not trusted.
  static std::optional<ElfProgram> parse(std::span<const uint8_t> bytes);
  static std::optional<ElfProgram> load(const std::string& path);

  bool has_symbols() const { return !functions_.empty(); }
  bool has_debug_info() const { return has_debug_info_; }
  const std::vector<LoadSegment>& segments() const { return segments_; }
  const std::vector<FunctionSymbol>& functions() const { return functions_; }

  // The function that holds `address`; nothing outside every function.
  std::optional<SymbolHit> function_at(uint32_t address) const;
  // Where a function or a variable of that name lies.
  std::optional<uint32_t> symbol_address(std::string_view name) const;

 private:
  std::vector<FunctionSymbol> functions_;  // sorted by address
  std::vector<FunctionSymbol> variables_;
  std::vector<LoadSegment> segments_;
  bool has_debug_info_ = false;
};

}  // namespace vornos::debug
