// Decoding of each call's arguments for the trace.
#include "trace/trace_printer.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <utility>
#include <vector>

#include "base/abi.h"
#include "base/error_codes.h"
#include "vornos/abi/test_control.h"
#include "test_hooks/test_hooks.h"

namespace vornos::kernel {
namespace {

using namespace abi::signature;

// Unknown calls show the first three registers, which is what most calls use.
constexpr abi::CallSignature kUnknown{0, nullptr, {bits, bits, bits}, answers_value};

const abi::CallSignature& signature_of(uint32_t number) {
  const abi::CallSignature* row = abi::find_call(number);
  return row != nullptr ? *row : kUnknown;
}

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%#" PRIx32, value);
  return text;
}

std::string pointer(uint32_t value) { return value == 0 ? "NULL" : hex(value); }

std::string shown_path(uint32_t address, GuestMemory& memory) {
  std::string text;
  if (memory.read_string(address, kPathLimit, text) != 0) return pointer(address);
  return quote_bytes(text, kTraceStringLimit);
}

std::string shown_data(uint32_t address, uint32_t length, GuestMemory& memory) {
  std::vector<std::byte> bytes(std::min<size_t>(length, kTraceStringLimit + 1));
  if (memory.read(address, bytes) != 0) return pointer(address);
  std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  // Only the bytes that were read are quoted; "..." shows that the buffer goes on.
  std::string quoted = quote_bytes(text.substr(0, kTraceStringLimit), kTraceStringLimit);
  if (length > kTraceStringLimit) quoted += "...";
  return quoted;
}

// Open's flags by name, access mode first, unknown bits in hex: "O_WRONLY|O_CREAT|0x100000".
std::string shown_open_flags(uint32_t flags) {
  // Indexed by the access bits: read, write, both, and the value no access has.
  constexpr std::string_view kAccess[] = {"O_RDONLY", "O_WRONLY", "O_RDWR", "O_ACCMODE"};
  static_assert(open_flag::kReadOnly == 0 && open_flag::kWriteOnly == 1 && open_flag::kReadWrite == 2);
  constexpr std::pair<uint32_t, std::string_view> kBits[] = {
      {open_flag::kCreate, "O_CREAT"}, {open_flag::kExclusive, "O_EXCL"}, {open_flag::kTruncate, "O_TRUNC"},
      {open_flag::kAppend, "O_APPEND"}};
  std::string text(kAccess[flags & open_flag::kAccessMask]);
  flags &= ~open_flag::kAccessMask;
  for (const auto& [bit, name] : kBits) {
    if ((flags & bit) != 0) {
      text += '|';
      text += name;
      flags &= ~bit;
    }
  }
  if (flags != 0) text += '|' + hex(flags);
  return text;
}

// Named bits joined by '|', the rest in hex; `none` when no bit is set.
template <size_t N>
std::string shown_bits(uint32_t value, const std::pair<uint32_t, std::string_view> (&names)[N], std::string_view none) {
  if (value == 0) return std::string(none);
  std::string text;
  for (const auto& [bit, name] : names) {
    if ((value & bit) == 0) continue;
    if (!text.empty()) text += '|';
    text += name;
    value &= ~bit;
  }
  if (value != 0) text += (text.empty() ? "" : "|") + hex(value);
  return text;
}

// The system's protection and mapping bits by the names the library gives them.
constexpr std::pair<uint32_t, std::string_view> kProtections[] = {
    {VORNOS_ABI_PROT_READ, "PROT_READ"}, {VORNOS_ABI_PROT_WRITE, "PROT_WRITE"}, {VORNOS_ABI_PROT_EXEC, "PROT_EXEC"}};
constexpr std::pair<uint32_t, std::string_view> kMapFlags[] = {{VORNOS_ABI_MAP_SHARED, "MAP_SHARED"},
                                                               {VORNOS_ABI_MAP_PRIVATE, "MAP_PRIVATE"},
                                                               {VORNOS_ABI_MAP_FIXED, "MAP_FIXED"},
                                                               {VORNOS_ABI_MAP_ANONYMOUS, "MAP_ANONYMOUS"}};

// The descriptors pipe stored, [read end, write end], once it succeeded.
std::string shown_pipe_ends(uint32_t address, std::optional<int32_t> result, GuestMemory& memory) {
  std::array<int32_t, 2> ends{};
  if (!result || *result != 0 || memory.read(address, std::as_writable_bytes(std::span(ends))) != 0) return pointer(address);
  return "[" + std::to_string(ends[0]) + ", " + std::to_string(ends[1]) + "]";
}

// {path="/bin/tool", argv=0x..., argc=2, a=0, b=1, c=-1, flag=0}: the record as the call read it.
std::string shown_spawn_record(uint32_t address, GuestMemory& memory) {
  SpawnRecord record;
  if (memory.read(address, std::as_writable_bytes(std::span(&record, 1))) != 0) return pointer(address);
  return "{path=" + shown_path(record.path, memory) + ", argv=" + pointer(record.argv) +
         ", argc=" + std::to_string(record.argc) + ", a=" + std::to_string(record.a) + ", b=" + std::to_string(record.b) +
         ", c=" + std::to_string(record.c) + ", flag=" + std::to_string(record.flag) + "}";
}

std::string shown_whence(uint32_t whence) {
  constexpr std::pair<uint32_t, std::string_view> kNames[] = {
      {VORNOS_ABI_SEEK_SET, "SEEK_SET"}, {VORNOS_ABI_SEEK_CUR, "SEEK_CUR"}, {VORNOS_ABI_SEEK_END, "SEEK_END"}};
  for (const auto& [value, name] : kNames) {
    if (whence == value) return std::string(name);
  }
  return std::to_string(static_cast<int32_t>(whence));
}

// An address answer is shown in hex unless it lies in the last page, where only errors do (-1
// among them), as on Linux.
std::string format_result(int32_t result, bool is_address = false) {
  constexpr int32_t kLowestError = -4095;
  if (is_address && (result >= 0 || result < kLowestError)) return " = " + hex(static_cast<uint32_t>(result));
  std::string text = " = " + std::to_string(result);
  if (result < 0) {
    if (const std::string_view name = error_name(result); !name.empty()) {
      text += ' ';
      text += name;
    }
  }
  return text;
}

std::string format_control(const KernelCall& call, std::optional<int32_t> result) {
  std::string line = "test_control(";
  const std::string_view operation = control_operation_name(call.args[0]);
  line += operation.empty() ? hex(call.args[0]) : std::string(operation);
  if (operation != "record_start" && operation != "capture_start" && operation != "script_clear") {
    line += ", " + pointer(call.args[1]);
    if (operation != "script") line += ", " + std::to_string(call.args[2]);
  }
  line += ')';
  if (result) line += format_result(*result);
  return line;
}

}  // namespace

std::string_view call_name(uint32_t number) {
  const abi::CallSignature* row = abi::find_call(number);
  return row != nullptr ? std::string_view(row->name) : std::string_view{};
}

std::string quote_bytes(std::string_view bytes, size_t limit) {
  std::string text = "\"";
  for (size_t index = 0; index < bytes.size() && index < limit; ++index) {
    const auto byte = static_cast<unsigned char>(bytes[index]);
    switch (byte) {
      case '"': text += "\\\""; break;
      case '\\': text += "\\\\"; break;
      case '\n': text += "\\n"; break;
      case '\t': text += "\\t"; break;
      case '\r': text += "\\r"; break;
      default:
        if (byte >= 0x20 && byte < 0x7f) {
          text += static_cast<char>(byte);
        } else {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
          text += escaped;
        }
    }
  }
  text += '"';
  if (bytes.size() > limit) text += "...";
  return text;
}

std::string format_call(const KernelCall& call, std::optional<int32_t> result, GuestMemory& memory) {
  if (call.number == test_control::kCallNumber) return format_control(call, result);
  const abi::CallSignature& signature = signature_of(call.number);
  const std::string_view name = call_name(call.number);
  std::string line = name.empty() ? "call_" + std::to_string(call.number) : std::string(name);
  line += '(';
  for (size_t index = 0; index < std::size(signature.arguments) && signature.arguments[index] != none; ++index) {
    if (index > 0) line += ", ";
    const uint32_t value = call.args[index];
    switch (signature.arguments[index]) {
      case signed_value: line += std::to_string(static_cast<int32_t>(value)); break;
      case unsigned_value: line += std::to_string(value); break;
      case address: line += pointer(value); break;
      case bits: line += hex(value); break;
      case path: line += shown_path(value, memory); break;
      case data_in:
        line += shown_data(value, index + 1 < call.args.size() ? call.args[index + 1] : 0, memory);
        break;
      case data_out:
        // What the call delivered, when it delivered something; else just where to.
        line += result && *result > 0 ? shown_data(value, static_cast<uint32_t>(*result), memory) : pointer(value);
        break;
      case path_out: line += result && *result > 0 ? shown_path(value, memory) : pointer(value); break;
      case open_flags: line += shown_open_flags(value); break;
      case whence: line += shown_whence(value); break;
      case protection: line += shown_bits(value, kProtections, "PROT_NONE"); break;
      case map_flags: line += shown_bits(value, kMapFlags, "0"); break;
      case pipe_ends: line += shown_pipe_ends(value, result, memory); break;
      case spawn_record: line += shown_spawn_record(value, memory); break;
      case none: break;
    }
  }
  line += ')';
  if (result) line += format_result(*result, signature.answer == answers_address);
  return line;
}

void CallTracer::program_started(int32_t) { ++started_; }

void CallTracer::call_served(int32_t id, const KernelCall& call, std::optional<int32_t> result, GuestMemory& memory) {
  print(id, format_call(call, result, memory));
}

void CallTracer::program_ended(int32_t id, std::string_view how) { print(id, "+++ " + std::string(how) + " +++"); }

void CallTracer::print(int32_t id, const std::string& line) {
  const std::string whole = (started_ > 1 ? "[pid " + std::to_string(id) + "] " : std::string()) + line + '\n';
  std::fwrite(whole.data(), 1, whole.size(), output_);
  std::fflush(output_);
}

}  // namespace vornos::kernel
