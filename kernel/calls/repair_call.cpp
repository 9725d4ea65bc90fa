// Call 84 (repair_dirents): the path from the program, the repair from the attached volume.
#include <string>

#include "calls/call_table.h"
#include "base/error_codes.h"

namespace vornos::kernel {

int32_t CallTable::repair_dirents(GuestMemory& memory, uint32_t path) {
  if (file_system_ == nullptr) return kNotImplemented;
  std::string text;
  if (const int32_t status = memory.read_string(path, kPathLimit, text); status != 0) return status;
  return file_system_->repair_dirents(text);
}

}  // namespace vornos::kernel
