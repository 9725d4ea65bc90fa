// The system's call numbers on the kernel side, from the one list the runtime uses too.
#pragma once

#include <cstdint>

#include "kernel_call_list.h"

namespace vornos::kernel::call {

#define VORNOS_KERNEL_CALL_CONSTANT(number, name) inline constexpr uint32_t name = number;
VORNOS_KERNEL_CALLS(VORNOS_KERNEL_CALL_CONSTANT)
#undef VORNOS_KERNEL_CALL_CONSTANT

}  // namespace vornos::kernel::call
