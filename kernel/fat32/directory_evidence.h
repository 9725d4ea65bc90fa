// Whether a cluster holds the start of a directory: the test that tells a real directory from a file
// whose directory bit is set by mistake.
#pragma once

#include <cstdint>
#include <span>

namespace vornos::fat32 {

enum class DirectoryEvidence {
  kNone,        // no directory starts here
  kDotNames,    // begins with entries named "." and "..", but their clusters do not fit
  kConsistent,  // and "." names `cluster`, ".." the parent: a directory beyond doubt
};

// What `bytes` (the first cluster of `cluster`'s chain) says about being a directory whose parent starts
// at `parent` (0 for the root, which a ".." may also name by its number). Attribute bytes are ignored on
// purpose: they are what may be damaged.
DirectoryEvidence directory_evidence(std::span<const uint8_t> bytes, uint32_t cluster, uint32_t parent,
                                     uint32_t root_cluster = 0);

}  // namespace vornos::fat32
