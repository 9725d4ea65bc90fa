// Where the test programs for the runner are: small i386 programs assembled by the build.
#pragma once

#include <string>

namespace vornos::kernel::testing {

// The assembled test program `name` (see guests/NAME.S).
inline std::string guest(const std::string& name) { return std::string(VORNOS_TEST_GUEST_DIR) + "/" + name; }

// The vornos-run built with these tests.
inline std::string runner() { return VORNOS_RUN_PATH; }

}  // namespace vornos::kernel::testing
