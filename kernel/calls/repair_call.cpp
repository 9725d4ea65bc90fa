// repair_dirents: the path from the program, the repair from the attached volume.
#include <string>

#include "base/error_codes.h"
#include "calls/handlers.h"

namespace vornos::kernel::handlers {

CallOutcome repair_dirents(CallContext& context, const CallArgs& args) {
  if (context.volume == nullptr) return {kNotImplemented};
  std::string text;
  if (const int32_t status = context.memory.read_string(args[0], kPathLimit, text); status != 0) return {status};
  return {context.volume->repair_dirents(text)};
}

}  // namespace vornos::kernel::handlers
