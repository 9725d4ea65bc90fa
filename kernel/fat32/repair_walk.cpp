// Depth-first repair walk with an explicit stack, so a hostile tree cannot exhaust the call stack.
#include "fat32/repair_walk.h"

#include <array>
#include <span>
#include <type_traits>

#include "fat32/cache_warmer.h"
#include "fat32/directory_slots.h"
#include "fat32/errors.h"
#include "fat32/le.h"
#include "fat32/names.h"
#include "fat32/path.h"
#include "fat32/repair_rules.h"

namespace vornos::fat32 {

namespace {

constexpr uint32_t kNoDirectory = 0xFFFFFFFF;

// Keeps messages about hostile trees readable: only the end of a very long path.
std::string shortened(const std::string& path) {
  constexpr size_t kShown = 160;
  return path.size() <= kShown ? path : "..." + path.substr(path.size() - kShown);
}

}  // namespace

struct RepairWalk::Frame {
  uint32_t first_cluster = 0;
  bool is_root = false;
  std::u16string name;             // as a component of the path; empty for the directory the walk starts in
  uint32_t directory = kNoDirectory;  // in directories_, once something names it
  uint32_t cluster = 0;            // the cluster now in `bytes`
  uint32_t chain_end = 0;          // the last cluster of the chain claimed so far
  // The cluster walked now: in `first_bytes` (the first cluster, as the probe read it) or in `run`. Both
  // keep their buffers when the frame moves, so the view stays valid.
  std::span<const uint8_t> bytes;
  std::vector<uint8_t> first_bytes;
  uint32_t offset = 0;             // of the next entry in `bytes`
  // The long-name slots right before the next entry: those in `bytes` from `slots_from`, after the last
  // ones of the cluster before (at most a whole name's worth) when the run began there. Their names are
  // decoded only for an entry whose name is needed.
  uint32_t slots_from = 0;
  std::vector<LongNameSlot> slots_before;
  std::vector<Repair> slot_repairs;  // repaired long-name slots waiting for their entry's name
  // Clusters of the chain read ahead with one read: `run_count` clusters from `run_first`.
  std::vector<uint8_t> run;
  uint32_t run_first = 0;
  uint32_t run_count = 0;
};

void RepairWalk::announce_children(std::span<const uint8_t> bytes) {
  if (!volume_.cache_cold() || tree_warmed_) return;
  for (size_t offset = 0; offset + kDirEntrySize <= bytes.size(); offset += kDirEntrySize) {
    const uint8_t* raw = &bytes[offset];
    const SlotKind kind = slot_kind(raw);
    if (kind == SlotKind::kEnd) return;
    const uint8_t attributes = raw[kAttrOffset];
    // "." and ".." name this directory and its parent, whose reads are made or announced already;
    // long-name slots name no cluster.
    if (kind != SlotKind::kShort || raw[0] == '.') continue;
    if (attributes & (attr::kDirectory | attr::kVolumeLabel)) volume_.announce_chain(read_short_entry(raw).first_cluster());
  }
}

RepairWalk::RepairWalk(Volume& volume)
    : volume_(volume),
      visited_(size_t{volume.geometry().cluster_count} + 2, false),
      owned_(size_t{volume.geometry().cluster_count} + 2, false) {}

RepairWalk::~RepairWalk() = default;

uint32_t RepairWalk::directory_of(size_t frame_index) {
  size_t named = frame_index;
  while (stack_[named].directory == kNoDirectory) --named;  // frame 0 is always named
  for (size_t i = named + 1; i <= frame_index; ++i) {
    directories_.push_back({stack_[i - 1].directory, stack_[i].name});
    stack_[i].directory = static_cast<uint32_t>(directories_.size() - 1);
  }
  return stack_[frame_index].directory;
}

std::string RepairWalk::path_of_directory(uint32_t directory, std::u16string_view leaf) const {
  std::vector<uint32_t> chain;
  for (uint32_t d = directory; d != 0; d = directories_[d].parent) chain.push_back(d);
  std::string path = start_path_;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) append_to_path(path, directories_[*it].name);
  if (!leaf.empty()) append_to_path(path, leaf);
  return path;
}

std::string RepairWalk::frame_path(size_t frame_index, std::u16string_view leaf) {
  return path_of_directory(directory_of(frame_index), leaf);
}

int32_t RepairWalk::distrust(size_t frame_index, std::u16string_view leaf, const std::string& why) {
  return volume_.report_inconsistency(shortened(frame_path(frame_index, leaf)) + ": " + why);
}

int32_t RepairWalk::enter(uint32_t first_cluster, bool is_root, std::u16string name,
                          std::vector<uint8_t> first_cluster_bytes) {
  if (visited_[first_cluster] || owned_[first_cluster]) {
    const std::string what = visited_[first_cluster] ? "reached twice: a loop in the tree, or a directory reached by two paths"
                                                      : "also where a file starts";
    return distrust(stack_.size() - 1, name, "directory cluster " + std::to_string(first_cluster) + " is " + what);
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
  frame.chain_end = first_cluster;
  frame.first_bytes = std::move(first_cluster_bytes);
  frame.bytes = frame.first_bytes;
  // Cold, the reads this directory leads to are the walk's cost: the kernel fetches them meanwhile.
  announce_children(frame.bytes);
  static_assert(std::is_nothrow_move_constructible_v<Frame>, "a frame's view must survive its moves");
  stack_.push_back(std::move(frame));
  return kOk;
}

int32_t RepairWalk::run(const LookupResult& start) {
  const uint32_t root = volume_.root_cluster();
  const uint32_t first = start.directory_cluster(root);
  start_path_ = start.path;
  directories_.push_back({kNoDirectory, {}});
  // The walk jumps about the image: read-ahead would fetch mostly what it never reads.
  struct RandomAccess {
    Volume& volume;
    explicit RandomAccess(Volume& v) : volume(v) { volume.advise_random(true); }
    ~RandomAccess() { volume.advise_random(false); }
  } random_access{volume_};
  volume_.announce_fats();
  if (!start.is_root) {
    // A chain below may run into the root's clusters: they belong to the root, walked or not.
    std::vector<uint32_t> root_chain;
    if (int32_t rc = volume_.cluster_chain(root, root_chain); rc != kOk) return rc;
    for (uint32_t cluster : root_chain) visited_[cluster] = true;
  }
  volume_.announce_chain(first);
  std::vector<uint8_t> bytes;
  if (int32_t rc = volume_.read_cluster(first, bytes); rc != kOk) return rc;
  if (visited_[first]) return volume_.report_inconsistency(start.path + " starts in a cluster of the root directory");
  // Cold, the tree is read breadth first before it is walked: the storage then serves a whole level at once.
  if (volume_.cache_cold()) tree_warmed_ = warm_directory_tree(volume_, first, kMaxDepth);
  if (int32_t rc = enter(first, start.is_root, {}, std::move(bytes)); rc != kOk) return rc;
  stack_[0].directory = 0;
  while (!stack_.empty()) {
    const size_t top = stack_.size() - 1;
    Frame& frame = stack_[top];
    skip_plain_entries(frame);
    bool ended = false;
    if (frame.offset == frame.bytes.size()) {
      if (int32_t rc = advance_cluster(frame, ended); rc != kOk) return rc;
    } else if (int32_t rc = visit_entry(top, ended); rc != kOk) {
      return rc;
    }
    if (ended) {
      spare_cluster_ = std::move(stack_.back().first_bytes);
      if (!stack_.back().run.empty()) spare_runs_.push_back(std::move(stack_.back().run));
      stack_.pop_back();
    }
  }
  return kOk;
}

// Whether the entry at `offset` of the frame's cluster is where a subdirectory's "." or ".." belongs: the
// first two entries of its first cluster (a chain that returns to that cluster is refused before it is read).
inline bool RepairWalk::at_dot_place(const Frame& frame, uint32_t offset) {
  return !frame.is_root && frame.cluster == frame.first_cluster && offset < 2 * kDirEntrySize;
}

namespace {

// Attribute bytes of short entries that the slot loop leaves to visit_entry: those that may be
// directories or labels, and those that may be damaged long-name slots.
constexpr auto kShortEntryNeedsVisit = [] {
  std::array<bool, 256> needs{};
  for (size_t a = 0; a < 256; ++a) {
    const uint8_t attributes = static_cast<uint8_t>(a);
    needs[a] = (attributes & (attr::kDirectory | attr::kVolumeLabel)) != 0 || may_be_long_name_slot(attributes);
  }
  return needs;
}();

// First bytes of short entries that the slot loop leaves to visit_entry besides those short_name_suspect
// flags (the end mark and "." among them): a free entry, and a name that starts with a space.
constexpr auto kFirstByteNeedsVisit = [] {
  std::array<bool, 256> needs{};
  needs[kFreeEntryMark] = true;
  needs[' '] = true;
  return needs;
}();

}  // namespace

// Most entries of a directory are long-name slots that need nothing but the check of their zeros, and
// short entries of files that need nothing but the plausibility check and the claim on their start
// cluster; both are passed over here, in one loop. Anything else (entries that may be directories,
// labels or damaged slots, names a record needs, whatever a message must name), and the dot entries'
// places, go to visit_entry, which judges them the same way. The tests of an entry are combined without
// branches between them: every slot of a directory passes through here.
void RepairWalk::skip_plain_entries(Frame& frame) {
  if (at_dot_place(frame, frame.offset)) return;
  const uint8_t* const bytes = frame.bytes.data();
  const uint8_t* const end = bytes + frame.bytes.size();
  const uint8_t* raw = bytes + frame.offset;
  const uint32_t max_cluster = volume_.geometry().max_cluster();
  // A repaired slot waits for its entry's name, which visit_entry gives it.
  const bool names_pending = !frame.slot_repairs.empty();
  const uint8_t* last_file = nullptr;  // just past the last file claimed
  for (; raw < end; raw += kDirEntrySize) {
    const uint8_t first = raw[0];
    // A long-name slot: the attribute 0x0F with the zero byte after it, zeros at 26-27.
    if (((load_le16(raw + kAttrOffset) ^ attr::kLongName) | load_le16(raw + 26)) == 0) {
      if (first == kEndOfDirectoryMark || first == kFreeEntryMark) break;
      continue;
    }
    // What the plausibility test might object to, visit_entry judges: a name that starts with a space or
    // holds a suspect byte, a start cluster beyond the volume.
    if (names_pending | kFirstByteNeedsVisit[first] | kShortEntryNeedsVisit[raw[kAttrOffset]] |
        short_name_suspect(raw)) {
      break;
    }
    // A file: no rule touches it, and its start cluster is its own.
    const uint32_t cluster = short_entry_first_cluster(raw);
    if (cluster > max_cluster) break;
    if (cluster >= 2) {
      if (visited_[cluster]) break;
      owned_[cluster] = true;
    }
    last_file = raw + kDirEntrySize;
  }
  if (last_file != nullptr) {
    frame.slots_from = static_cast<uint32_t>(last_file - bytes);
    frame.slots_before.clear();
  }
  frame.offset = static_cast<uint32_t>(raw - bytes);
}

int32_t RepairWalk::claim_next_cluster(size_t frame_index, uint32_t next) {
  if (!visited_[next] && !owned_[next]) {
    visited_[next] = true;
    return kOk;
  }
  // Whether `next` is one of the frame's own clusters, for the message: its chain up to chain_end was
  // claimed link by link, so it holds no cluster twice and the search ends.
  const Frame& frame = stack_[frame_index];
  for (uint32_t cluster = frame.first_cluster; visited_[next];) {
    if (cluster == next) return distrust(frame_index, {}, "its chain loops back to its cluster " + std::to_string(next));
    if (cluster == frame.chain_end || !volume_.fat_table().entry(cluster, cluster) ||
        !volume_.geometry().is_data_cluster(cluster)) {
      break;
    }
  }
  return distrust(frame_index, {}, "its chain runs into cluster " + std::to_string(next) + ", which belongs to " +
                                       (visited_[next] ? "a directory" : "a file"));
}

// The clusters after the end-of-directory mark hold no entries a reader sees, but they are the
// directory's all the same: their links are followed to the chain's end (the FAT only, no cluster is
// read), so that a chain that loops or runs into another directory or a file is refused there too.
int32_t RepairWalk::follow_rest_of_chain(size_t frame_index) {
  for (;;) {
    Frame& frame = stack_[frame_index];
    uint32_t next = 0;
    bool at_end = false;
    if (int32_t rc = volume_.next_cluster(frame.chain_end, next, at_end); rc != kOk) return rc;
    if (at_end) return kOk;
    if (int32_t rc = claim_next_cluster(frame_index, next); rc != kOk) return rc;
    frame.chain_end = next;
  }
}

int32_t RepairWalk::advance_cluster(Frame& frame, bool& at_end) {
  uint32_t next = 0;
  if (int32_t rc = volume_.next_cluster(frame.cluster, next, at_end); rc != kOk) return rc;
  if (at_end) return kOk;
  const size_t top = stack_.size() - 1;
  if (int32_t rc = claim_next_cluster(top, next); rc != kOk) return rc;
  // A run of slots that reaches the end of the cluster goes on in the next. (Taken before the next read,
  // which may overwrite the cluster.)
  if (frame.slots_from < frame.bytes.size()) {
    if (frame.slots_from != 0) frame.slots_before.clear();
    for (size_t at = frame.slots_from; at < frame.bytes.size(); at += kDirEntrySize) {
      frame.slots_before.push_back(read_long_name_slot(&frame.bytes[at]));
    }
    if (frame.slots_before.size() > kMaxSlots) {
      frame.slots_before.erase(frame.slots_before.begin(),
                               frame.slots_before.end() - static_cast<std::ptrdiff_t>(kMaxSlots));
    }
  } else {
    frame.slots_before.clear();
  }
  frame.slots_from = 0;
  if (frame.run_count == 0 || next < frame.run_first || next - frame.run_first >= frame.run_count) {
    if (frame.run.empty() && !spare_runs_.empty()) {
      frame.run = std::move(spare_runs_.back());
      spare_runs_.pop_back();
    }
    if (int32_t rc = volume_.read_cluster_run(next, max_run_clusters(volume_.geometry()), frame.run, frame.run_count); rc != kOk) {
      return rc;
    }
    frame.run_first = next;
  }
  const size_t cluster_bytes = volume_.geometry().cluster_bytes;
  frame.bytes = std::span<const uint8_t>(frame.run).subspan((next - frame.run_first) * cluster_bytes, cluster_bytes);
  if (directory_evidence(frame.bytes, 0, 0) != DirectoryEvidence::kNone) {
    return distrust(top, {}, "its chain runs into cluster " + std::to_string(next) + ", the start of another directory");
  }
  frame.cluster = next;
  frame.chain_end = next;
  frame.offset = 0;
  announce_children(frame.bytes);
  return kOk;
}

void RepairWalk::add_repair(size_t frame_index, std::u16string name, const Frame& frame, uint32_t offset,
                            uint8_t old_attr, uint8_t new_attr, const char* rule) {
  const uint64_t byte = volume_.geometry().cluster_offset(frame.cluster) + offset + kAttrOffset;
  repairs_.push_back({directory_of(frame_index), std::move(name), byte, old_attr, new_attr, rule});
}

int32_t RepairWalk::visit_entry(size_t frame_index, bool& directory_ended) {
  Frame& frame = stack_[frame_index];
  const uint32_t offset = frame.offset;
  const uint8_t* raw = &frame.bytes[offset];
  const uint8_t attributes = raw[kAttrOffset];
  frame.offset += kDirEntrySize;

  const SlotKind kind = slot_kind(raw);
  if (kind == SlotKind::kEnd) {
    directory_ended = true;
    return follow_rest_of_chain(frame_index);
  }
  if (kind == SlotKind::kFree) {
    end_slot_run(frame);
    return kOk;
  }
  // The dot entries are known by name and place, whatever their attribute bytes say: those are what
  // R2 repairs, and a damaged byte may even look like a long-name slot.
  const bool dot_place = at_dot_place(frame, offset) && has_short_name(raw, offset == 0 ? kDotName : kDotDotName);
  if (dot_place) {
    end_slot_run(frame);
    const AttributeRepair repair = repair_dot_entry(attributes);
    if (repair.rule != nullptr) add_repair(frame_index, offset == 0 ? u"." : u"..", frame, offset, attributes, repair.attributes, repair.rule);
    return kOk;
  }
  if (attributes == attr::kLongName) {
    if (const char* why = implausible_entry(raw, volume_.geometry().max_cluster())) return distrust(frame_index, {}, why);
    return kOk;  // one more slot of the run
  }
  if (may_be_long_name_slot(attributes)) {
    if (fits_long_name_sequence(frame.bytes, offset)) {
      const AttributeRepair repair = repair_long_name_slot(attributes);
      const uint64_t byte = volume_.geometry().cluster_offset(frame.cluster) + offset + kAttrOffset;
      frame.slot_repairs.push_back({0, {}, byte, attributes, repair.attributes, repair.rule});
      return kOk;  // a slot of the run, as its repair makes it
    }
    // Stray high bits on something that is no slot of a sequence: what it is cannot be told, so it stays.
    if (is_long_name_slot(attributes)) {
      end_slot_run(frame);
      return kOk;
    }
  }
  // The slots before this entry name it, or nothing: whichever way the entry goes, they are done with.
  struct ResetNames {
    std::vector<Frame>& stack;
    size_t index;
    ~ResetNames() { end_slot_run(stack[index]); }
  } reset_names{stack_, frame_index};
  EntryName name{stack_[frame_index], raw, volume_.code_page()};
  if (!frame.slot_repairs.empty()) {
    const uint32_t directory = directory_of(frame_index);
    for (Repair& repair : stack_[frame_index].slot_repairs) {
      repair.directory = directory;
      repair.name = name.get();
      repairs_.push_back(std::move(repair));
    }
    stack_[frame_index].slot_repairs.clear();
  }
  return visit_short_entry(frame_index, raw, name);
}

void RepairWalk::end_slot_run(Frame& frame) {
  frame.slots_from = frame.offset;
  frame.slots_before.clear();
}

const std::u16string& RepairWalk::EntryName::get() {
  if (!decoded_) {
    LongNameAssembler names;
    for (const LongNameSlot& slot : frame_.slots_before) names.add_slot(slot);
    for (const uint8_t* slot = frame_.bytes.data() + frame_.slots_from; slot < raw_; slot += kDirEntrySize) {
      names.add_slot(read_long_name_slot(slot));
    }
    name_ = names.take_name_for(raw_);
    if (name_.empty()) name_ = short_name_text(read_short_entry(raw_), page_);
    decoded_ = true;
  }
  return name_;
}

int32_t RepairWalk::visit_short_entry(size_t frame_index, const uint8_t* raw, EntryName& name) {
  Frame& frame = stack_[frame_index];
  // Entries named "." or ".." anywhere else point at this directory or its parent by design; the
  // evidence test cannot judge them, so they are left alone and never entered.
  if (raw[0] == '.' && (has_short_name(raw, kDotName) || has_short_name(raw, kDotDotName))) return kOk;
  if (const char* why = implausible_entry(raw, volume_.geometry().max_cluster())) {
    return distrust(frame_index, name.get(), why);
  }

  const ShortEntry entry = read_short_entry(raw);
  EntryEvidence evidence;
  if (entry.attributes & (attr::kDirectory | attr::kVolumeLabel)) {
    if (int32_t rc = volume_.probe_directory(entry, frame.first_cluster, evidence.directory, spare_cluster_); rc != kOk) {
      return rc;
    }
    if (evidence.directory == DirectoryEvidence::kNone) {
      if (int32_t rc = volume_.chain_fits_size(entry, evidence.file_data); rc != kOk) return rc;
    }
  }
  const AttributeRepair repair = repair_short_entry(entry, evidence);
  const uint32_t offset = frame.offset - kDirEntrySize;
  if (repair.rule != nullptr) {
    add_repair(frame_index, name.get(), frame, offset, entry.attributes, repair.attributes, repair.rule);
  }

  const uint32_t cluster = entry.first_cluster();
  const bool is_directory = (repair.attributes & (attr::kDirectory | attr::kVolumeLabel)) == attr::kDirectory &&
                            evidence.directory == DirectoryEvidence::kConsistent;
  if (is_directory) {
    // `frame` is invalid once the child is pushed.
    std::u16string child_name = name.get();
    return enter(cluster, false, std::move(child_name), std::move(spare_cluster_));
  }
  if (volume_.geometry().is_data_cluster(cluster)) {
    if (visited_[cluster]) return distrust(frame_index, name.get(), "it starts in directory cluster " + std::to_string(cluster));
    owned_[cluster] = true;
  }
  return kOk;
}

}  // namespace vornos::fat32
