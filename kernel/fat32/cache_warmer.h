// Warming of the page cache for a walk over a directory tree whose image is not in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fat32/volume.h"

namespace vornos::fat32 {

// Reads the directory tree below the directory whose chain starts at `first` (that one included) breadth
// first, `max_depth` levels at most, so that a depth-first walk after it finds its clusters in the page
// cache. Each chain is announced (Volume::announce_chain) as soon as the entry naming it is read, so the
// storage fetches a whole level at once while the level before is still being read; so is the first
// cluster of an entry with the label bit, which the walk reads to judge it.
//
// It only reads and advises. Entries are judged just enough to find subdirectories: a short entry with
// the directory bit whose start cluster begins with "." and ".." naming it and its parent. Whatever else
// it meets it does not follow, and its read errors are left for the walk to meet and report. Each
// cluster is read at most once, a chain at most as far as announce_chain announces it, and an entry that
// names the root's first cluster is not followed.
//
// True when it read every directory cluster such a walk reads: no chain was cut short, no read failed,
// and nothing lay deeper than `max_depth`.
bool warm_directory_tree(Volume& volume, uint32_t first, size_t max_depth);

}  // namespace vornos::fat32
