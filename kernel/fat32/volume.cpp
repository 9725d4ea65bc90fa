// Opening a volume, following chains and reading directories.
#include "fat32/volume.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "fat32/chain_walker.h"
#include "fat32/directory_evidence.h"
#include "fat32/directory_slots.h"
#include "fat32/errors.h"
#include "fat32/le.h"
#include "fat32/names.h"
#include "fat32/path.h"
#include "fat32/text.h"

namespace vornos::fat32 {

std::unique_ptr<Volume> Volume::open(const std::string& image_path, bool read_only, std::string& error) {
  VolumeOpenOptions options;
  options.read_only = read_only;
  return open(image_path, options, error);
}

std::unique_ptr<Volume> Volume::open(const std::string& image_path, const VolumeOpenOptions& options,
                                     std::string& error) {
  std::unique_ptr<Volume> volume(new Volume());
  std::string reason;
  // A snapshot never writes the image, so it needs no more than reading it.
  if (!volume->file_.open(image_path, options.read_only || options.snapshot, reason)) {
    error = "cannot open " + image_path + ": " + reason;
    return nullptr;
  }
  if (!locate_volume(volume->file_, image_path, options.partition, volume->place_, error)) return nullptr;
  if (volume->place_.partition) volume->file_.confine(volume->place_.offset, volume->place_.length);
  std::vector<uint8_t> boot(kBootSectorMinSize);
  if (!volume->file_.read_at(0, boot)) {
    error = "not a FAT32 volume: " + image_path + " is smaller than a boot sector";
    return nullptr;
  }
  if (!parse_boot_sector(boot, volume->geometry_, reason)) {
    error = "not a FAT32 volume: " + image_path + ": " + reason;
    return nullptr;
  }
  // An image cut short would be repaired as if whole, its missing end read as errors at best.
  const uint64_t volume_bytes = volume->geometry_.size_bytes();
  if (volume->file_.size() < volume_bytes) {
    error = "not a FAT32 volume: " + image_path + " is truncated: it has " + std::to_string(volume->file_.size()) +
            " bytes, its boot sector says " + std::to_string(volume_bytes);
    return nullptr;
  }
  if (options.snapshot && !options.read_only) {
    volume->file_.start_snapshot(options.snapshot_memory, options.snapshot_directory);
  }
  volume->fat_ = std::make_unique<FatTable>(volume->file_, volume->geometry_);
  return volume;
}

int32_t Volume::fail(std::string problem) {
  problem_ = std::move(problem);
  return kIoError;
}

int32_t Volume::read_cluster(uint32_t cluster, std::vector<uint8_t>& out) {
  if (!geometry_.is_data_cluster(cluster)) return fail("cluster " + std::to_string(cluster) + " is out of range");
  out.resize(geometry_.cluster_bytes);
  if (!file_.read_at(geometry_.cluster_offset(cluster), out)) {
    return fail("cannot read cluster " + std::to_string(cluster) + " (image truncated or unreadable)");
  }
  return kOk;
}

int32_t Volume::read_cluster_run(uint32_t cluster, uint32_t max_clusters, std::vector<uint8_t>& out,
                                 uint32_t& count) {
  count = 1;
  for (uint32_t value = 0; count < max_clusters && fat_->entry(cluster + count - 1, value) && value == cluster + count &&
                           geometry_.is_data_cluster(value);) {
    ++count;
  }
  // A buffer that holds the run already is not resized: growing it would clear what the read overwrites.
  const size_t bytes = size_t{count} * geometry_.cluster_bytes;
  if (out.size() < bytes) out.resize(bytes);
  if (count > 1 && file_.read_at(geometry_.cluster_offset(cluster), std::span<uint8_t>(out.data(), bytes))) return kOk;
  count = 1;  // a run that cannot be read whole is read a cluster at a time, for the error that names it
  return read_cluster(cluster, out);
}

void Volume::announce_fats() {
  constexpr uint64_t kMaxAnnounced = 16u << 20;
  const uint64_t bytes = std::min<uint64_t>(uint64_t{geometry_.cluster_count + 2} * 4, kMaxAnnounced);
  for (uint32_t copy = 0; copy < geometry_.fat_count; ++copy) file_.will_need(geometry_.fat_offset(copy), bytes);
}

void Volume::announce_chain(uint32_t first, uint32_t max_clusters) {
  uint32_t run_start = first;
  uint32_t run_length = 0;
  uint32_t cluster = first;
  const uint32_t max_steps = std::max<uint32_t>(1, std::min(max_clusters, max_directory_clusters(geometry_)));
  for (uint32_t steps = 0; geometry_.is_data_cluster(cluster) && steps < max_steps; ++steps) {
    if (run_length > 0 && cluster != run_start + run_length) {
      file_.will_need(geometry_.cluster_offset(run_start), uint64_t{run_length} * geometry_.cluster_bytes);
      run_start = cluster;
      run_length = 0;
    }
    ++run_length;
    if (!fat_->entry(cluster, cluster)) break;
  }
  if (run_length > 0) file_.will_need(geometry_.cluster_offset(run_start), uint64_t{run_length} * geometry_.cluster_bytes);
}

int32_t Volume::next_cluster(uint32_t cluster, uint32_t& next, bool& at_end) {
  uint32_t value = 0;
  if (!geometry_.is_data_cluster(cluster)) return fail("cluster " + std::to_string(cluster) + " is out of range");
  if (!fat_->entry(cluster, value)) return fail("cannot read the FAT entry of cluster " + std::to_string(cluster));
  at_end = value >= kFatEndOfChain;
  // A chain is only believed where every mirrored copy of the FAT says the same.
  bool cut_short = false;
  if (geometry_.fats_mirrored && !fat_->copies_agree_at(cluster)) {
    for (uint32_t copy = 0; copy < geometry_.fat_count; ++copy) {
      uint32_t other = 0;
      if (!fat_->entry_in_copy(copy, cluster, other)) return fail("cannot read FAT copy " + std::to_string(copy));
      if (other == value || (at_end && other >= kFatEndOfChain)) continue;
      if (accept_interrupted_links_ && interrupted_link(value, other)) {
        cut_short = true;
        continue;
      }
      return fail("the FAT copies disagree on the cluster after " + std::to_string(cluster) + " (" +
                  std::to_string(value) + " in copy " + std::to_string(geometry_.active_fat) + ", " +
                  std::to_string(other) + " in copy " + std::to_string(copy) + ")");
    }
  }
  if (at_end || cut_short) {
    at_end = true;
    return kOk;
  }
  if (value == kFatBadCluster) return fail("cluster " + std::to_string(cluster) + " is followed by a bad cluster");
  if (!geometry_.is_data_cluster(value)) {
    return fail("cluster " + std::to_string(cluster) + " is followed by " +
                (value == 0 ? std::string("a free cluster") : "cluster " + std::to_string(value) + ", out of range"));
  }
  next = value;
  return kOk;
}

// A chain grows by new clusters whose entries are written to every FAT copy first; only then is the
// link from its last cluster written, to copy 0, then copy 1. A power cut between those two writes leaves
// one copy ending the chain where the other links it to a cluster that every copy holds alike and in
// use; so does the mirror case, a link taken back (set to end-of-chain) when the entry could not be
// written. Either way the entry that owns the chain still describes the chain without the link, so the
// chain is followed as ending there (fsck.fat, truncating the surplus, comes to the same). The next FAT
// write of that sector writes the same bytes to every copy and so makes them agree again.
bool Volume::interrupted_link(uint32_t value, uint32_t other) {
  if ((value >= kFatEndOfChain) == (other >= kFatEndOfChain)) return false;
  const uint32_t linked = value >= kFatEndOfChain ? other : value;
  if (!geometry_.is_data_cluster(linked)) return false;
  uint32_t first = 0;
  for (uint32_t copy = 0; copy < geometry_.fat_count; ++copy) {
    uint32_t entry = 0;
    if (!fat_->entry_in_copy(copy, linked, entry) || (copy > 0 && entry != first)) return false;
    if (copy == 0) first = entry;
  }
  return first != 0 && first != kFatBadCluster;
}

int32_t Volume::cluster_chain(uint32_t first, std::vector<uint32_t>& chain) {
  chain.clear();
  if (!geometry_.is_data_cluster(first)) return fail("cluster " + std::to_string(first) + " is out of range");
  ChainWalker walk(*this, first);
  for (;;) {
    chain.push_back(walk.cluster());
    bool at_end = false;
    if (int32_t rc = walk.advance(at_end); rc != kOk) return rc;
    if (at_end) return kOk;
  }
}

int32_t Volume::list_directory(uint32_t first_cluster, std::vector<DirEntryInfo>& entries, bool bounded) {
  entries.clear();
  std::vector<uint8_t> bytes;
  std::unordered_set<uint32_t> seen;
  DirectorySlotReader reader(*code_page_);
  uint32_t index = 0;
  ChainWalker walk(*this, first_cluster);
  for (;;) {
    const uint32_t cluster = walk.cluster();
    if (!seen.insert(cluster).second) return fail("the chain of directory cluster " + std::to_string(first_cluster) + " loops");
    if (int32_t rc = read_cluster(cluster, bytes); rc != kOk) return rc;
    for (uint32_t offset = 0; offset < bytes.size(); offset += kDirEntrySize, ++index) {
      DirectorySlot slot;
      const SlotKind kind = reader.read(&bytes[offset], index, slot);
      if (kind == SlotKind::kEnd) return kOk;
      if (kind != SlotKind::kShort) continue;
      entries.push_back({slot.entry, std::move(slot.long_name), std::move(slot.short_name), cluster, offset});
    }
    bool at_end = false;
    if (int32_t rc = walk.advance(at_end); rc != kOk) return rc;
    if (at_end) return kOk;
    if (bounded && walk.count() > max_directory_clusters(geometry_)) return fail(directory_too_long(first_cluster));
  }
}

int32_t Volume::probe_directory(const ShortEntry& entry, uint32_t parent_cluster, DirectoryEvidence& evidence,
                                std::vector<uint8_t>& first_cluster_bytes) {
  evidence = DirectoryEvidence::kNone;
  const uint32_t cluster = entry.first_cluster();
  if (!geometry_.is_data_cluster(cluster) || cluster == geometry_.root_cluster || cluster == parent_cluster) {
    return kOk;
  }
  if (int32_t rc = read_cluster(cluster, first_cluster_bytes); rc != kOk) return rc;
  const uint32_t parent = parent_cluster == geometry_.root_cluster ? 0 : parent_cluster;
  evidence = directory_evidence(first_cluster_bytes, cluster, parent, geometry_.root_cluster);
  return kOk;
}

int32_t Volume::chain_fits_size(const ShortEntry& entry, bool& fits) {
  fits = false;
  const uint32_t first = entry.first_cluster();
  if (entry.size == 0 || !geometry_.is_data_cluster(first)) return kOk;
  const uint64_t clusters = (uint64_t{entry.size} + geometry_.cluster_bytes - 1) / geometry_.cluster_bytes;
  ChainWalker walk(*this, first);
  for (;;) {
    bool at_end = false;
    if (int32_t rc = walk.advance(at_end); rc != kOk) return rc;
    if (at_end || walk.count() > clusters) {
      fits = at_end && walk.count() == clusters;
      return kOk;
    }
  }
}

int32_t Volume::check_backup_boot_sector() {
  if (geometry_.backup_boot_sector == 0) return kOk;
  std::vector<uint8_t> backup;
  if (int32_t rc = read_sector(geometry_.backup_boot_sector, backup); rc != kOk) return rc;
  Geometry other;
  std::string problem;
  const std::string where = "the backup boot sector (sector " + std::to_string(geometry_.backup_boot_sector) + ")";
  if (!parse_boot_sector(backup, other, problem)) return fail(where + " is not valid: " + problem);
  if (!geometry_.same_layout(other)) return fail("the boot sector and " + where + " disagree on the volume's layout");
  return kOk;
}

namespace {

bool is_dot_entry(const ShortEntry& entry) {
  return has_short_name(entry.name, kDotName) || has_short_name(entry.name, kDotDotName);
}

// A volume label names the volume, not a file: it owns no clusters and has no directory bit.
bool is_volume_label(const ShortEntry& entry) {
  return (entry.attributes & (attr::kVolumeLabel | attr::kDirectory)) == attr::kVolumeLabel &&
         entry.first_cluster() == 0;
}

}  // namespace

int32_t Volume::lookup(std::string_view path, LookupResult& result) {
  std::vector<DirEntryInfo> entries;
  return lookup(path, result, [&](uint32_t directory, std::u16string_view name, DirEntryInfo& found) {
    if (int32_t rc = list_directory(directory, entries); rc != kOk) return rc;
    for (DirEntryInfo& info : entries) {
      if (is_dot_entry(info.entry) || is_volume_label(info.entry)) continue;
      if (equal_ignoring_case(name, info.long_name) || equal_ignoring_case(name, info.short_name)) {
        found = std::move(info);
        return kOk;
      }
    }
    return kNoEntry;
  });
}

int32_t Volume::lookup(std::string_view path, LookupResult& result, const NameFinder& find_name) {
  std::vector<std::u16string> components;
  if (int32_t rc = split_path(path, components); rc != kOk) return rc;

  // The directories walked through so far, so that ".." can step back out of them.
  std::vector<LookupResult> trail;
  LookupResult current;
  current.is_root = true;
  current.is_directory = true;
  current.parent_cluster = geometry_.root_cluster;
  current.path = "/";

  std::vector<uint8_t> scratch;
  for (size_t i = 0; i < components.size(); ++i) {
    const std::u16string& component = components[i];
    if (!current.is_directory) return kNotDirectory;
    if (component == u".") continue;
    if (component == u"..") {
      if (!trail.empty()) {
        current = std::move(trail.back());
        trail.pop_back();
      }
      continue;
    }
    const uint32_t dir_cluster = current.directory_cluster(geometry_.root_cluster);
    LookupResult next;
    if (int32_t rc = find_name(dir_cluster, component, next.info); rc != kOk) return rc;
    next.parent_cluster = dir_cluster;
    next.path = join_path(current.path, next.info.name());
    if (next.info.entry.attributes & attr::kDirectory) {
      DirectoryEvidence evidence;
      if (int32_t rc = probe_directory(next.info.entry, dir_cluster, evidence, scratch); rc != kOk) return rc;
      next.is_directory = evidence == DirectoryEvidence::kConsistent;
    }
    trail.push_back(std::move(current));
    current = std::move(next);
  }
  // As on POSIX, a trailing '/' asks for a directory.
  if (!current.is_directory && path.back() == '/') return kNotDirectory;
  result = std::move(current);
  return kOk;
}

int32_t Volume::read_sector(uint64_t sector, std::vector<uint8_t>& out) {
  if (sector >= geometry_.total_sectors) return fail("sector " + std::to_string(sector) + " is out of range");
  out.resize(geometry_.bytes_per_sector);
  if (!file_.read_at(sector * geometry_.bytes_per_sector, out)) {
    return fail("cannot read sector " + std::to_string(sector));
  }
  return kOk;
}

int32_t Volume::write_sector(uint64_t sector, std::span<const uint8_t> bytes) {
  if (read_only()) return kReadOnly;
  if (sector >= geometry_.total_sectors || bytes.size() != geometry_.bytes_per_sector) {
    return fail("refusing to write sector " + std::to_string(sector));
  }
  if (!write_through(sector * geometry_.bytes_per_sector, bytes)) {
    return fail("cannot write sector " + std::to_string(sector) + " (" + write_error() + ")");
  }
  return kOk;
}

int32_t Volume::sync() {
  const uint64_t writes = file_.stats().writes;
  if (writes == writes_synced_) return kOk;
  if (!file_.sync()) return fail("cannot make the writes durable (fsync failed)");
  writes_synced_ = writes;
  return kOk;
}

bool Volume::write_through(uint64_t offset, std::span<const uint8_t> data) {
  errno = 0;
  if (writes_until_fault_ != 0) {
    if (writes_until_fault_ == 1) {
      if (!fault_persists_) writes_until_fault_ = 0;
      return false;
    }
    --writes_until_fault_;
  }
  return file_.write_at(offset, data);
}

// Why the write just made failed, as far as the host said.
std::string Volume::write_error() {
  // Past the host's file size limit a write fails with EFBIG (the runner ignores SIGXFSZ, which would
  // otherwise have ended it): the image is larger than the limit allows to write in.
  if (errno == EFBIG) return "the image reaches past the host's file size limit, ulimit -f";
  if (errno != 0) return std::strerror(errno);
  return "a write error, or the image was cut short";
}

int32_t Volume::read_at(uint64_t offset, std::span<uint8_t> out) {
  if (!file_.read_at(offset, out)) {
    return fail("cannot read " + std::to_string(out.size()) + " bytes at byte " + std::to_string(offset) +
                " (image truncated or unreadable)");
  }
  return kOk;
}

int32_t Volume::write_at(uint64_t offset, std::span<const uint8_t> data) {
  if (read_only()) return kReadOnly;
  if (!write_through(offset, data)) {
    return fail("cannot write " + std::to_string(data.size()) + " bytes at byte " + std::to_string(offset) + " (" +
                write_error() + ")");
  }
  return kOk;
}

}  // namespace vornos::fat32
