// Breadth-first reads of a directory tree, ahead of the depth-first walk that repairs it.
#include "fat32/cache_warmer.h"

#include <span>
#include <string>
#include <vector>

#include "fat32/dir_entry.h"
#include "fat32/directory_evidence.h"
#include "fat32/directory_slots.h"
#include "fat32/errors.h"

namespace vornos::fat32 {

namespace {

// A directory still to read: its first cluster, and its parent's as its ".." names it (0 for the root).
struct PendingDirectory {
  uint32_t first;
  uint32_t parent;
};

class TreeWarmer {
 public:
  explicit TreeWarmer(Volume& volume)
      : volume_(volume),
        geometry_(volume.geometry()),
        seen_(size_t{geometry_.cluster_count} + 2, false),
        max_steps_(max_directory_clusters(geometry_)),
        max_run_(max_run_clusters(geometry_)) {}

  bool run(uint32_t first, size_t max_depth) {
    seen_[geometry_.root_cluster] = true;
    seen_[first] = true;
    std::vector<PendingDirectory> level{{first, 0}};
    std::vector<PendingDirectory> next;
    for (size_t depth = 0; depth < max_depth && !level.empty(); ++depth) {
      next.clear();
      for (const PendingDirectory& directory : level) read_directory(directory, depth == 0, next);
      level.swap(next);
    }
    return complete_ && level.empty();
  }

 private:
  void read_directory(const PendingDirectory& directory, bool is_start, std::vector<PendingDirectory>& children);
  bool scan_cluster(std::span<const uint8_t> bytes, uint32_t parent, std::vector<PendingDirectory>& children);

  Volume& volume_;
  const Geometry& geometry_;
  std::vector<bool> seen_;    // clusters read, or queued to be read
  const uint32_t max_steps_;  // clusters of one chain at most, as announce_chain announces them
  const uint32_t max_run_;    // clusters read together at most, as the walk reads them
  std::vector<uint8_t> buffer_;
  bool complete_ = true;
};

// Reads the chain of `directory`, the clusters that lie one after another on disk with one read, and
// queues the subdirectories its entries name, up to its end-of-directory mark. A directory found below
// the start whose first cluster does not begin as a directory (the walk does not enter it) is neither
// scanned nor followed beyond its first read.
void TreeWarmer::read_directory(const PendingDirectory& directory, bool is_start,
                                std::vector<PendingDirectory>& children) {
  FatTable& fat = volume_.fat_table();
  const size_t cluster_bytes = geometry_.cluster_bytes;
  const uint32_t parent = directory.first == geometry_.root_cluster ? 0 : directory.first;
  uint32_t cluster = directory.first;
  for (uint32_t steps = 0; steps < max_steps_;) {
    uint32_t count = 1;
    uint32_t link = 0;
    while (count < max_run_ && steps + count < max_steps_ && fat.entry(cluster + count - 1, link) &&
           link == cluster + count && geometry_.is_data_cluster(link) && !seen_[link]) {
      seen_[link] = true;
      ++count;
    }
    if (buffer_.size() < count * cluster_bytes) buffer_.resize(count * cluster_bytes);
    const std::span<uint8_t> run(buffer_.data(), count * cluster_bytes);
    if (volume_.read_at(geometry_.cluster_offset(cluster), run) != kOk) {
      complete_ = false;
      return;
    }
    if (steps == 0 && !is_start &&
        directory_evidence(run.first(cluster_bytes), directory.first, directory.parent, geometry_.root_cluster) !=
            DirectoryEvidence::kConsistent) {
      return;
    }
    for (uint32_t i = 0; i < count; ++i) {
      if (!scan_cluster(run.subspan(i * cluster_bytes, cluster_bytes), parent, children)) return;
    }
    steps += count;
    if (!fat.entry(cluster + count - 1, link) || !geometry_.is_data_cluster(link) || seen_[link]) return;
    seen_[link] = true;
    cluster = link;
  }
  complete_ = false;  // a chain longer than any directory's: the walk reads on, and judges it
}

// Queues and announces the subdirectories named in one cluster of a directory, and announces the first
// cluster of each entry with the label bit; false at the end-of-directory mark, after which the walk
// reads nothing of the directory.
bool TreeWarmer::scan_cluster(std::span<const uint8_t> bytes, uint32_t parent,
                              std::vector<PendingDirectory>& children) {
  for (size_t offset = 0; offset + kDirEntrySize <= bytes.size(); offset += kDirEntrySize) {
    const uint8_t* raw = &bytes[offset];
    const SlotKind kind = slot_kind(raw);
    if (kind == SlotKind::kEnd) return false;
    const uint8_t attributes = raw[kAttrOffset];
    // "." and ".." name directories read already; long-name slots name no cluster.
    if (kind != SlotKind::kShort || raw[0] == '.' || (attributes & (attr::kDirectory | attr::kVolumeLabel)) == 0) {
      continue;
    }
    const uint32_t cluster = short_entry_first_cluster(raw);
    if (!geometry_.is_data_cluster(cluster) || seen_[cluster]) continue;
    if ((attributes & attr::kDirectory) == 0) {
      volume_.announce_chain(cluster, 1);
      continue;
    }
    seen_[cluster] = true;
    volume_.announce_chain(cluster);
    children.push_back({cluster, parent});
  }
  return true;
}

}  // namespace

bool warm_directory_tree(Volume& volume, uint32_t first, size_t max_depth) {
  if (!volume.geometry().is_data_cluster(first)) return false;
  // What warming cannot read, the walk reads again and reports: the volume's last problem stays the walk's.
  const std::string problem = volume.problem();
  const bool complete = TreeWarmer(volume).run(first, max_depth);
  if (volume.problem() != problem) volume.report_inconsistency(problem);
  return complete;
}

}  // namespace vornos::fat32
