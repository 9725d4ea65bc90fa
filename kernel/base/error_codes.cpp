// Names of the error results, for the trace: the rows of the shared list.
#include "base/error_codes.h"

namespace vornos::kernel {

std::string_view error_name(int32_t result) {
  const abi::ErrorInfo* info = abi::find_error_result(result);
  return info == nullptr ? std::string_view{} : std::string_view(info->name);
}

}  // namespace vornos::kernel
