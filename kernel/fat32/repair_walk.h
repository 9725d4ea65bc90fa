// The walk over a directory tree that finds the attribute repairs, and checks that the volume can be
// trusted while it reads.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fat32/names.h"
#include "fat32/volume.h"

namespace vornos::fat32 {

// Walks the tree below one directory depth first, reading each directory cluster once, and collects one
// record per repaired entry. It descends only into entries that are directories after repair, whose "."
// and ".." name the right clusters, never into "." or "..", and never twice into the same cluster.
class RepairWalk {
 public:
  // One repaired attribute byte. A record names its directory by an index into the walk's table of
  // directories (see path_of) and holds only its entry's own name, so that records deep in a tree cost
  // no more than records near the root.
  struct Repair {
    uint32_t directory;
    std::u16string name;  // the entry's name; "." or ".." for dot entries
    uint64_t byte;        // offset of the attribute byte in the image
    uint8_t old_attr;
    uint8_t new_attr;
    const char* rule;
  };

  explicit RepairWalk(Volume& volume);
  ~RepairWalk();

  // Walks the directory `start` (a directory result of Volume::lookup). kIoError on a read error, a broken
  // chain, a loop, or anything that makes the volume untrustworthy (FAT copies that disagree on a chain,
  // a chain that runs into another directory or a file, an entry no FAT driver would write); then the
  // results are incomplete and must not be written.
  int32_t run(const LookupResult& start);

  const std::vector<Repair>& repairs() const { return repairs_; }
  // The path of a record's entry, e.g. "/Photos/x.jpg", built on demand.
  std::string path_of(const Repair& repair) const { return path_of_directory(repair.directory, repair.name); }

  // Deeper trees cannot be named by any path a program can pass; the limit bounds the memory held by
  // the walk (one cluster per level).
  static constexpr size_t kMaxDepth = 4096;

 private:
  struct Frame;
  struct Directory {
    uint32_t parent;
    std::u16string name;
  };
  int32_t enter(uint32_t first_cluster, bool is_root, std::u16string name, std::vector<uint8_t> first_cluster_bytes);
  int32_t advance_cluster(Frame& frame, bool& at_end);
  // Claims `next`, the cluster after the frame's chain so far, for its directory; distrusts the volume
  // when the chain loops back into itself or runs into a cluster of another directory or a file.
  int32_t claim_next_cluster(size_t frame_index, uint32_t next);
  // Follows the frame's chain from the cluster of its end-of-directory mark to its end, claiming each cluster.
  int32_t follow_rest_of_chain(size_t frame_index);
  void skip_plain_entries(Frame& frame);
  static bool at_dot_place(const Frame& frame, uint32_t offset);
  // Announces the chains of the entries in `bytes` that the walk may probe as directories.
  void announce_children(std::span<const uint8_t> bytes);
  // Handles the entry at the frame's position; may push a child frame (invalidating `frame`).
  int32_t visit_entry(size_t frame_index, bool& directory_ended);
  // The name of a short entry, decoded from the slots before it only when a record, a message or a frame
  // needs it: walking needs the slots' attribute bytes, not their names.
  class EntryName {
   public:
    EntryName(const Frame& frame, const uint8_t* raw, const CodePage& page) : frame_(frame), raw_(raw), page_(page) {}
    const std::u16string& get();

   private:
    const Frame& frame_;
    const uint8_t* raw_;
    const CodePage& page_;
    std::u16string name_;
    bool decoded_ = false;
  };
  // Ends the frame's run of long-name slots: the next entry starts a new one.
  static void end_slot_run(Frame& frame);
  int32_t visit_short_entry(size_t frame_index, const uint8_t* raw, EntryName& name);
  void add_repair(size_t frame_index, std::u16string name, const Frame& frame, uint32_t offset,
                  uint8_t old_attr, uint8_t new_attr, const char* rule);
  uint32_t directory_of(size_t frame_index);
  std::string path_of_directory(uint32_t directory, std::u16string_view leaf = {}) const;
  std::string frame_path(size_t frame_index, std::u16string_view leaf = {});
  int32_t distrust(size_t frame_index, std::u16string_view leaf, const std::string& why);

  Volume& volume_;
  std::vector<bool> visited_;  // directory clusters walked (and the root's, when the walk starts below it)
  std::vector<bool> owned_;    // first clusters of entries not walked as directories: files and the like
  std::vector<Frame> stack_;
  bool tree_warmed_ = false;  // every directory cluster the walk reads is in the page cache, or on its way
  // A cluster's buffer for the next probe: a finished directory's, so that probes and frames do not
  // allocate and clear one each.
  std::vector<uint8_t> spare_cluster_;
  // Run buffers of finished directories, for the next frames that read runs: they are warm in the cache
  // and already as large as runs need.
  std::vector<std::vector<uint8_t>> spare_runs_;
  std::string start_path_;
  std::vector<Directory> directories_;  // those that records or messages name; 0 is the start
  std::vector<Repair> repairs_;
};

}  // namespace vornos::fat32
