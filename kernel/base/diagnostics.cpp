// Escaping names for the runner's lines: paths and file names come from users and volumes.
#include "base/diagnostics.h"

namespace vornos::kernel {
namespace {

bool continuation(std::string_view text, size_t at, unsigned char low = 0x80, unsigned char high = 0xBF) {
  if (at >= text.size()) return false;
  const auto byte = static_cast<unsigned char>(text[at]);
  return byte >= low && byte <= high;
}

// The length of the well-formed UTF-8 sequence at the start of `text` whose code point is
// at U+00A0 or above, or 0 (ASCII, C1 controls, overlong forms, surrogates, stray bytes).
size_t utf8_sequence(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead == 0xC2) return continuation(text, 1, 0xA0) ? 2 : 0;
  if (lead > 0xC2 && lead <= 0xDF) return continuation(text, 1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    return continuation(text, 1, low, high) && continuation(text, 2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned char low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    return continuation(text, 1, low, high) && continuation(text, 2) && continuation(text, 3) ? 4 : 0;
  }
  return 0;
}

}  // namespace

std::string printable(std::string_view text) {
  std::string shown;
  for (size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += byte == '\\' ? "\\\\" : std::string(1, static_cast<char>(byte));
      ++at;
    } else if (const size_t length = utf8_sequence(text.substr(at)); length > 0) {
      shown += text.substr(at, length);
      at += length;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      shown += escaped;
      ++at;
    }
  }
  return shown;
}

void print_diagnostic(std::FILE* stream, std::string_view message) {
  const std::string line = "vornos-run: " + printable(message) + '\n';
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

}  // namespace vornos::kernel
