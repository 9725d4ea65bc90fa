// The mount's state and the helpers its calls share; private to the mount's files.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fat32/cluster_pool.h"
#include "fat32/directory_cache.h"
#include "fat32/directory_table.h"
#include "fat32/dos_time.h"
#include "fat32/mount.h"

namespace vornos::fat32 {

// Where a short entry lives on disk, with the sector that holds it as read.
struct EntryPlace {
  uint64_t sector = 0;
  uint32_t offset = 0;  // in the sector
  std::vector<uint8_t> bytes;
  ShortEntry entry{};

  void store(const ShortEntry& e) { std::memcpy(&bytes[offset], &e, sizeof e); }
};

// A path split for making an entry: the directory it goes in and the new name.
struct NewName {
  LookupResult parent;
  std::u16string name;
};

// A whole-file replacement in progress.
struct Staging {
  std::string path;
  std::vector<uint32_t> clusters;  // reserved and written, not linked
  std::vector<uint8_t> pending;    // bytes not yet in a cluster
  uint64_t size = 0;
};

struct Mount::Impl {
  explicit Impl(Volume& v) : volume(v), pool(v), directories(v, pool) {}

  Volume& volume;
  ClusterPool pool;
  DirectoryCache directories;  // every path lookup and every change of a directory goes through it
  bool detached = false;
  bool marked_dirty = false;
  bool mark_failed = false;             // the dirty mark could not be written: no write may follow
  std::vector<uint32_t> clean_copies;  // FAT copies whose clean bit this run cleared
  bool damaged = false;                 // a failed write that could not be undone
  std::unordered_map<uint32_t, std::vector<uint32_t>> chains;
  uint64_t chains_generation = 0;
  EntryPlace last_entry;                // the entry load_entry read last, valid while the image's
  NodeId last_entry_id;                 // write count is still last_entry_writes
  uint64_t last_entry_writes = ~uint64_t{0};
  std::map<int32_t, Staging> stagings;
  int32_t next_handle = 1;

  uint32_t entries_per_cluster() const { return volume.geometry().cluster_bytes / kDirEntrySize; }

  // Clears the clean bit of FAT[1] in every copy that has it, once per run, before the first write.
  int32_t mark_dirty();
  // The chain from `first`, cached until the FAT changes.
  int32_t chain_of(uint32_t first, const std::vector<uint32_t>*& chain);
  // The chain from `first`, moved out of the cache (the caller owns it and may give it back).
  int32_t take_chain(uint32_t first, std::vector<uint32_t>& chain);
  // Caches a chain the caller has just written, so that a file growing by many writes is not walked
  // again from its start each time.
  void remember_chain(std::vector<uint32_t> chain);
  void drop_stale_chains();

  // Checks every component of an absolute path: kInvalid for bad UTF-8, kNameTooLong past 255.
  int32_t check_path(std::string_view path);
  // Volume::lookup with the checks above, giving a Node.
  int32_t resolve(std::string_view path, Node& node, LookupResult* found = nullptr);
  // The parent directory and last name of a path that names nothing yet: kNoEntry / kNotDirectory for
  // the parent, kIsDirectory when the path ends in '/' but `for_directory` is false, name checks.
  int32_t split_new(std::string_view path, bool for_directory, NewName& out);

  // The short entry at `id`; kNoEntry when it is not a live entry.
  int32_t load_entry(const NodeId& id, EntryPlace& place);
  int32_t store_entry(EntryPlace& place, const ShortEntry& entry);
  // Makes an entry named `name` in the directory starting at `directory` (long-name slots and alias when
  // needed); `index` is where it went.
  int32_t add_entry(uint32_t directory, std::u16string_view name, ShortEntry entry, uint32_t& index);

  // Removes the entry of `node` with its long-name slots (the short entry last), then frees `chain`.
  int32_t remove_entry(const Node& node, const std::vector<uint32_t>& chain);

  // Reads or writes file bytes at `position` of a file whose chain is `chain`, in runs of adjacent
  // clusters.
  int32_t transfer(const std::vector<uint32_t>& chain, uint64_t position, uint8_t* read_into,
                   const uint8_t* write_from, size_t count);

  // What a replacement of `path` would replace: kOk with `exists` and `node` (or `target` for a new
  // file) set, or the refusal.
  int32_t check_replace_target(std::string_view path, bool& exists, Node& node, NewName& target);
  // Writes the staged bytes that fill whole clusters (all of them, the last padded with zeros, when
  // `last`) into newly reserved clusters.
  int32_t flush(Staging& staging, bool last);
  // Links the staged clusters and points the file's entry at them (see Mount::commit).
  int32_t commit(Staging& staging);

  bool failed_for_good() const { return damaged || pool.damaged() || directories.damaged(); }
};

// A new short entry: the given attributes and first cluster, creation, write and access dates of `now`.
ShortEntry new_short_entry(uint8_t attributes, uint32_t first_cluster, uint32_t size, const DosTimestamp& now);
void set_first_cluster(ShortEntry& entry, uint32_t cluster);
// The write date and time of `now`, its access date, the archive bit.
void touch(ShortEntry& entry, const DosTimestamp& now);

}  // namespace vornos::fat32
