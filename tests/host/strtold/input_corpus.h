// The texts on which the guest's strtold is compared with the model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vornos::strtold_reference {

// Hand-picked texts (documented results and boundaries) followed by generated ones. The same
// seed gives the same list; no text contains a NUL byte.
std::vector<std::string> comparison_inputs(std::uint64_t seed);

}  // namespace vornos::strtold_reference
