// What a crash report needs of a 32-bit x86 program file: its function symbols, whether it carries
// debug information, and the segments it loads.
#include "debug/elf_program.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace vornos::debug {
namespace {

constexpr uint8_t kElfClass32 = 1;
constexpr uint8_t kElfLittleEndian = 1;
constexpr uint16_t kMachine386 = 3;
constexpr uint32_t kSectionSymbols = 2;  // SHT_SYMTAB
constexpr uint32_t kSegmentLoad = 1;     // PT_LOAD
constexpr uint8_t kSymbolObject = 1;     // STT_OBJECT
constexpr uint8_t kSymbolFunction = 2;   // STT_FUNC
constexpr size_t kElfHeaderSize = 52;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kProgramHeaderSize = 32;
constexpr size_t kSymbolSize = 16;

// Little-endian fields read within the file's bounds.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool fits(uint64_t offset, uint64_t size) const { return offset <= bytes_.size() && size <= bytes_.size() - offset; }
  uint32_t u32(uint64_t offset) const {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | bytes_[offset + static_cast<size_t>(i)];
    return value;
  }
  uint16_t u16(uint64_t offset) const {
    return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
  }
  uint8_t u8(uint64_t offset) const { return bytes_[offset]; }
  // A NUL-terminated name at `offset` within [table, table + table_size); empty when it runs out.
  std::string name(uint64_t table, uint64_t table_size, uint64_t offset) const {
    if (offset >= table_size) return {};
    const auto* start = bytes_.data() + table + offset;
    const auto* end = static_cast<const uint8_t*>(std::memchr(start, 0, table_size - offset));
    if (end == nullptr) return {};
    return {reinterpret_cast<const char*>(start), static_cast<size_t>(end - start)};
  }

 private:
  std::span<const uint8_t> bytes_;
};

struct Section {
  uint32_t name_offset, type, offset, size, link, entry_size;
  std::string name;
};

}  // namespace

std::optional<ElfProgram> ElfProgram::parse(std::span<const uint8_t> bytes) {
  const Reader in(bytes);
  if (!in.fits(0, kElfHeaderSize) || std::memcmp(bytes.data(), "\x7f" "ELF", 4) != 0 || in.u8(4) != kElfClass32 ||
      in.u8(5) != kElfLittleEndian || in.u16(18) != kMachine386) {
    return std::nullopt;
  }
  ElfProgram program;
  const uint32_t program_headers = in.u32(28), section_headers = in.u32(32);
  const uint16_t program_header_size = in.u16(42), program_header_count = in.u16(44);
  const uint16_t section_header_size = in.u16(46), section_count = in.u16(48), names_index = in.u16(50);
  if (program_header_count > 0) {
    if (program_header_size < kProgramHeaderSize ||
        !in.fits(program_headers, uint64_t{program_header_size} * program_header_count)) {
      return std::nullopt;
    }
    for (uint16_t i = 0; i < program_header_count; ++i) {
      const uint64_t at = program_headers + uint64_t{i} * program_header_size;
      if (in.u32(at) != kSegmentLoad) continue;
      program.segments_.push_back({in.u32(at + 8), in.u32(at + 4), in.u32(at + 16), in.u32(at + 20), in.u32(at + 24)});
    }
  }

  // Sections are optional: a program without them still runs, and gets addresses only.
  std::vector<Section> sections;
  if (section_count > 0 && section_header_size >= kSectionHeaderSize &&
      in.fits(section_headers, uint64_t{section_header_size} * section_count)) {
    for (uint16_t i = 0; i < section_count; ++i) {
      const uint64_t at = section_headers + uint64_t{i} * section_header_size;
      sections.push_back({in.u32(at), in.u32(at + 4), in.u32(at + 16), in.u32(at + 20), in.u32(at + 24), in.u32(at + 36), {}});
    }
  }
  const bool have_names = names_index < sections.size() &&
                          in.fits(sections[names_index].offset, sections[names_index].size);
  for (Section& section : sections) {
    if (have_names) section.name = in.name(sections[names_index].offset, sections[names_index].size, section.name_offset);
    if (section.name == ".debug_info" || section.name == ".debug_line") program.has_debug_info_ = true;
  }
  for (const Section& table : sections) {
    if (table.type != kSectionSymbols || table.entry_size < kSymbolSize || table.link >= sections.size() ||
        !in.fits(table.offset, table.size)) {
      continue;
    }
    const Section& strings = sections[table.link];
    if (!in.fits(strings.offset, strings.size)) continue;
    for (uint64_t at = table.offset; at + kSymbolSize <= uint64_t{table.offset} + table.size; at += table.entry_size) {
      const uint8_t type = in.u8(at + 12) & 0xF;
      const uint16_t section_index = in.u16(at + 14);
      if ((type != kSymbolFunction && type != kSymbolObject) || section_index == 0) continue;
      std::string name = in.name(strings.offset, strings.size, in.u32(at));
      if (name.empty()) continue;
      auto& list = type == kSymbolFunction ? program.functions_ : program.variables_;
      list.push_back({std::move(name), in.u32(at + 4), in.u32(at + 8)});
    }
  }
  std::sort(program.functions_.begin(), program.functions_.end(),
            [](const FunctionSymbol& a, const FunctionSymbol& b) { return a.address < b.address; });
  return program;
}

std::optional<ElfProgram> ElfProgram::load(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
  return parse(bytes);
}

std::optional<SymbolHit> ElfProgram::function_at(uint32_t address) const {
  auto after = std::upper_bound(functions_.begin(), functions_.end(), address,
                                [](uint32_t value, const FunctionSymbol& f) { return value < f.address; });
  if (after == functions_.begin()) return std::nullopt;
  const FunctionSymbol& function = *std::prev(after);
  const uint32_t offset = address - function.address;
  if (function.size != 0 ? offset >= function.size : after == functions_.end()) return std::nullopt;
  return SymbolHit{function.name, offset};
}

std::optional<uint32_t> ElfProgram::symbol_address(std::string_view name) const {
  for (const auto* list : {&functions_, &variables_}) {
    for (const FunctionSymbol& symbol : *list) {
      if (symbol.name == name) return symbol.address;
    }
  }
  return std::nullopt;
}

}  // namespace vornos::debug
