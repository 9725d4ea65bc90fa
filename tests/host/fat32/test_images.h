// Test images: FAT32 volumes made with mkfs.fat and mtools in a scratch folder of the build tree.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fat32/repair.h"

namespace vornos::fat32::test {

// The folder of the running test, empty at its first use in that test; removed when all tests passed.
std::string scratch_dir();
// Runs a shell command (sbin on the PATH, mtools unchecked); returns its exit status, -1 when it died.
int run(const std::string& command);
std::string quote(const std::string& text);
// The start of an mtools command line that reads and writes short names in OEM code page `page`, and
// names on this side in UTF-8, whatever the machine's own settings say ("LC_ALL=C.UTF-8 MTOOLSRC=... ").
std::string mtools_in_code_page(unsigned page);

// An empty FAT32 image of 34000 KiB with 512-byte clusters (about the smallest FAT32 volume mtools and
// fsck.fat accept) by mkfs.fat, with a fixed volume id, in the scratch folder.
std::string make_image(const std::string& name = "volume.img");
// Creates directories (a name ending in '/') and small files on the image with mmd and mcopy.
void populate(const std::string& image, const std::vector<std::string>& paths);
// The tree the repair tests damage: kTree, 40 long-named files in /Big (several clusters), an empty
// /Docs/empty.txt and a volume label.
extern const std::vector<std::string> kTree;
std::string make_tree();

std::vector<uint8_t> read_file(const std::string& path);
// Writes `bytes` over the file's own from `offset` on (a whole image at 0: the image as it was); makes
// a missing file.
void poke(const std::string& image, uint64_t offset, const std::vector<uint8_t>& bytes);
// Byte offset in the image of the short entry `path` names, or of its "." (dot 0) / ".." (dot 1)
// entry, or of its n-th long-name slot before it (slot >= 1).
uint64_t entry_offset(const std::string& image, const std::string& path, int dot = -1, unsigned slot = 0);
Geometry geometry_of(const std::string& image);
// Sets FAT entry `cluster` to `value` in the given copies.
void set_fat(const std::string& image, uint32_t cluster, uint32_t value, const std::vector<uint32_t>& copies);

struct ByteChange {
  uint64_t offset;
  uint8_t before, after;
  bool operator==(const ByteChange&) const = default;
};
std::vector<ByteChange> changed_bytes(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after);

struct Outcome {
  int32_t result;
  std::vector<RepairRecord> records;
  std::string problem;
  IoStats io;
};
Outcome repair(const std::string& image, std::string_view path = "/", bool read_only = false, bool dry_run = false,
               ImageFile::WriteHook on_write = {}, ImageFile::SyncHook on_sync = {});

// The problems fsck.fat -n reports on the image, one per line, without the lines that name the program
// or count files; empty when it found nothing.
std::vector<std::string> fsck(const std::string& image);
inline const std::vector<std::string> kNoProblems;

// Every write and every barrier (a sync that reached the storage) a run makes through a volume, to
// replay on the image as it was what a power cut may leave of them.
struct WriteLog {
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> writes;
  std::vector<size_t> barriers;  // the number of writes made before each barrier

  void record(Volume& volume);
  void add_write(uint64_t offset, std::span<const uint8_t> data) { writes.push_back({offset, {data.begin(), data.end()}}); }
  void add_barrier() { barriers.push_back(writes.size()); }
  // The first `count` writes: a disk that keeps the order of writes, cut after write `count`.
  void replay(const std::string& image, size_t count) const;
  // The given writes, in the given order.
  void replay(const std::string& image, const std::vector<size_t>& which) const;
  // What a disk that keeps writes in a volatile cache and persists any of those issued since the last
  // barrier, in any order, may leave: for each epoch (the writes after a barrier up to the next, the
  // last one included), every write of the epochs before it, plus each single write of the epoch, and
  // plus all of the epoch's writes but one. Where an epoch has more than `sample` writes, `sample` of
  // each kind are chosen with a fixed seed. Each state lists the writes to replay; none is listed twice.
  std::vector<std::vector<size_t>> reordered_states(size_t sample = 12) const;
};
// The lines of fsck.fat -n on `image` beyond `known` and beyond what a power cut may leave: the dirty
// mark, FAT copies that differ, lost clusters and the free count, and a file whose chain runs past its
// size (linked before the entry grew), which fsck.fat cuts back to that same size.
std::vector<std::string> worse_than_a_cut(const std::string& image, const std::vector<std::string>& known = {});

}  // namespace vornos::fat32::test
