// A host-side model of the system's strtold: the same chain of x87 extended-precision
// operations, written independently (first the text is scanned, then the arithmetic runs), so
// that the guest's results can be checked bit for bit against it.
#pragma once

#include <cstddef>
#include <string_view>

namespace vornos::strtold_reference {

struct Result {
  long double value;
  std::size_t end;  // offset of the first unread byte; 0 when the text holds no number
};

// `text` stands for a NUL-terminated string without its NUL: the end of the view reads as NUL.
Result parse(std::string_view text);

}  // namespace vornos::strtold_reference
