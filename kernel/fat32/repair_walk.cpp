// Depth-first repair walk with an explicit stack, so a hostile tree cannot exhaust the call stack.
#include "fat32/repair_walk.h"

#include <algorithm>

#include "fat32/errors.h"
#include "fat32/names.h"
#include "fat32/path.h"
#include "fat32/repair_rules.h"

namespace vornos::fat32 {

struct RepairWalk::Frame {
  uint32_t first_cluster = 0;
  bool is_root = false;
  std::u16string name;             // as a component of the path; empty for the directory the walk starts in
  uint32_t cluster = 0;            // the cluster now in `bytes`
  std::vector<uint8_t> bytes;
  uint32_t offset = 0;             // of the next entry in `bytes`
  uint32_t index = 0;              // of the next entry in the directory
  std::vector<uint32_t> changed;   // sectors of `bytes` (relative) that hold repaired entries
  LongNameAssembler names;
  std::vector<RepairRecord> slot_records;  // repaired long-name slots waiting for their entry's name
};

RepairWalk::RepairWalk(Volume& volume)
    : volume_(volume), visited_(size_t{volume.geometry().cluster_count} + 2, false) {}

RepairWalk::~RepairWalk() = default;

namespace {

// Keeps messages about hostile trees readable: only the end of a very long path.
std::string shortened(const std::string& path) {
  constexpr size_t kShown = 160;
  return path.size() <= kShown ? path : "..." + path.substr(path.size() - kShown);
}

}  // namespace

std::string RepairWalk::path_of(size_t depth, std::u16string_view leaf) const {
  std::string path = start_path_;
  for (size_t i = 1; i <= depth && i < stack_.size(); ++i) append_to_path(path, stack_[i].name);
  if (!leaf.empty()) append_to_path(path, leaf);
  return path;
}

int32_t RepairWalk::enter(uint32_t first_cluster, bool is_root, std::u16string name,
                          std::vector<uint8_t> first_cluster_bytes) {
  if (visited_[first_cluster]) {
    const std::string where = stack_.empty() ? start_path_ : path_of(stack_.size() - 1, name);
    return volume_.report_inconsistency("directory cluster " + std::to_string(first_cluster) + " is reached twice (" +
                                        shortened(where) + "): a loop in the tree");
  }
  if (stack_.size() >= kMaxDepth) {
    return volume_.report_inconsistency("the tree is deeper than " + std::to_string(kMaxDepth) + " levels");
  }
  visited_[first_cluster] = true;
  Frame frame;
  frame.first_cluster = first_cluster;
  frame.is_root = is_root;
  frame.name = std::move(name);
  frame.cluster = first_cluster;
  frame.bytes = std::move(first_cluster_bytes);
  stack_.push_back(std::move(frame));
  return kOk;
}

int32_t RepairWalk::run(const LookupResult& start) {
  const uint32_t root = volume_.root_cluster();
  const uint32_t first = start.directory_cluster(root);
  std::vector<uint8_t> bytes;
  if (int32_t rc = volume_.read_cluster(first, bytes); rc != kOk) return rc;
  start_path_ = start.path;
  if (int32_t rc = enter(first, start.is_root, {}, std::move(bytes)); rc != kOk) {
    return rc;
  }
  while (!stack_.empty()) {
    const size_t top = stack_.size() - 1;
    Frame& frame = stack_[top];
    bool ended = false;
    if (frame.offset == frame.bytes.size()) {
      if (int32_t rc = advance_cluster(frame, ended); rc != kOk) return rc;
    } else if (int32_t rc = visit_entry(top, ended); rc != kOk) {
      return rc;
    }
    if (ended) {
      Frame& done = stack_[top];
      retire_cluster(done);
      // Repaired slots that no entry claimed still count, under a name that says what they were.
      for (RepairRecord& record : done.slot_records) {
        record.path = path_of(top, u"(orphan long-name slot)");
        records_.push_back(std::move(record));
      }
      stack_.pop_back();
    }
  }
  return kOk;
}

int32_t RepairWalk::advance_cluster(Frame& frame, bool& at_end) {
  retire_cluster(frame);
  uint32_t next = 0;
  if (int32_t rc = volume_.next_cluster(frame.cluster, next, at_end); rc != kOk) return rc;
  if (at_end) return kOk;
  if (visited_[next]) {
    return volume_.report_inconsistency("the chain of directory " + shortened(path_of(stack_.size() - 1)) + " runs into cluster " +
                                        std::to_string(next) + ", already walked");
  }
  visited_[next] = true;
  if (int32_t rc = volume_.read_cluster(next, frame.bytes); rc != kOk) return rc;
  frame.cluster = next;
  frame.offset = 0;
  return kOk;
}

void RepairWalk::retire_cluster(Frame& frame) {
  const uint32_t sector_bytes = volume_.geometry().bytes_per_sector;
  for (uint32_t relative : frame.changed) {
    const auto begin = frame.bytes.begin() + static_cast<std::ptrdiff_t>(relative * sector_bytes);
    changed_sectors_[volume_.sector_of(frame.cluster, 0) + relative].assign(begin, begin + sector_bytes);
  }
  frame.changed.clear();
}

void RepairWalk::mark_changed(Frame& frame, uint32_t offset) {
  const uint32_t relative = offset / volume_.geometry().bytes_per_sector;
  if (std::find(frame.changed.begin(), frame.changed.end(), relative) == frame.changed.end()) {
    frame.changed.push_back(relative);
  }
}

int32_t RepairWalk::visit_entry(size_t frame_index, bool& directory_ended) {
  Frame& frame = stack_[frame_index];
  const uint32_t offset = frame.offset;
  const uint32_t index = frame.index;
  uint8_t* raw = &frame.bytes[offset];
  frame.offset += kDirEntrySize;
  frame.index += 1;

  auto apply = [&](const AttributeRepair& repair, std::string path) {
    records_.push_back({std::move(path), raw[kAttrOffset], repair.attributes, repair.rule});
    raw[kAttrOffset] = repair.attributes;
    mark_changed(frame, offset);
  };

  if (raw[0] == kEndOfDirectoryMark) {
    directory_ended = true;
    return kOk;
  }
  if (raw[0] == kFreeEntryMark) {
    frame.names.reset();
    return kOk;
  }
  // The dot entries are known by name and place, whatever their attribute bytes say: those are what
  // R2 repairs, and a damaged byte may even look like a long-name slot.
  const bool dot_place = !frame.is_root && ((index == 0 && has_short_name(raw, kDotName)) ||
                                             (index == 1 && has_short_name(raw, kDotDotName)));
  if (dot_place) {
    frame.names.reset();
    const AttributeRepair repair = repair_dot_entry(raw[kAttrOffset]);
    if (repair.rule != nullptr) apply(repair, path_of(frame_index, index == 0 ? u"." : u".."));
    return kOk;
  }
  if (is_long_name_slot(raw[kAttrOffset])) {
    const AttributeRepair repair = repair_long_name_slot(raw[kAttrOffset]);
    if (repair.rule != nullptr) {
      frame.slot_records.push_back({"", raw[kAttrOffset], repair.attributes, repair.rule});
      raw[kAttrOffset] = repair.attributes;
      mark_changed(frame, offset);
    }
    frame.names.add_slot(read_long_name_slot(raw));
    return kOk;
  }

  const ShortEntry entry = read_short_entry(raw);
  std::u16string name = frame.names.take_name_for(raw);
  if (name.empty()) name = short_name_text(entry);
  if (!frame.slot_records.empty()) {
    const std::string path = path_of(frame_index, name);
    for (RepairRecord& record : frame.slot_records) {
      record.path = path;
      records_.push_back(std::move(record));
    }
    frame.slot_records.clear();
  }

  // Entries named "." or ".." anywhere else point at this directory or its parent by design; the
  // evidence test cannot judge them, so they are left alone and never entered.
  if (has_short_name(raw, kDotName) || has_short_name(raw, kDotDotName)) return kOk;

  bool evidence = false;
  std::vector<uint8_t> child_bytes;
  if (entry.attributes & attr::kDirectory) {
    if (int32_t rc = volume_.probe_directory(entry, frame.first_cluster, evidence, child_bytes); rc != kOk) {
      return rc;
    }
  }
  const AttributeRepair repair = repair_short_entry(entry, evidence);
  if (repair.rule != nullptr) apply(repair, path_of(frame_index, name));
  const bool is_directory = (repair.attributes & (attr::kDirectory | attr::kVolumeLabel)) == attr::kDirectory;
  if (is_directory && evidence) {
    // `frame` is invalid once the child is pushed.
    return enter(entry.first_cluster(), false, std::move(name), std::move(child_bytes));
  }
  return kOk;
}

}  // namespace vornos::fat32
