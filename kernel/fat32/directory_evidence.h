// Whether a cluster holds the start of a directory: the test that tells a real directory from a file
// whose directory bit is set by mistake.
#pragma once

#include <cstdint>
#include <span>

namespace vornos::fat32 {

// True when `bytes` (the first cluster of `cluster`'s chain) begins with an entry named "." whose start
// cluster is `cluster`, followed by an entry named "..". Attribute bytes are ignored on purpose: they
// are what may be damaged.
bool begins_as_directory(std::span<const uint8_t> bytes, uint32_t cluster);

}  // namespace vornos::fat32
