// The interface shared with the system's programs (vornos/abi/), under the kernel's names.
#pragma once

#include "vornos/abi/calls.h"
#include "vornos/abi/limits.h"
#include "vornos/abi/mapping.h"
#include "vornos/abi/open_flags.h"
#include "vornos/abi/spawn_record.h"

namespace vornos::kernel {

namespace call = abi::call;
namespace open_flag = abi::open_flag;
using abi::SpawnRecord;
using abi::kLargestCount;  // counts above it are taken as it, so that a full result stays non-negative

}  // namespace vornos::kernel
