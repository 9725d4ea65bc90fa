// HostFailure: operation name plus the host's text for errno.
#include "base/host_failure.h"

#include <cstring>

namespace vornos::kernel {

HostFailure::HostFailure(const std::string& operation, int host_errno)
    : std::runtime_error(operation + ": " + std::strerror(host_errno)), host_errno_(host_errno) {}

}  // namespace vornos::kernel
