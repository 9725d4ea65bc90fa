// The volume as a file system for programs: resolve paths, read and write files, create, replace and
// delete files and directories, with the volume marked dirty while a run writes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fat32/repair.h"
#include "fat32/volume.h"

namespace vornos::fat32 {

// Where a file or directory lives: the place of its short entry, stable for as long as the entry exists
// (directories never move their entries; they only grow). The root has no entry: {0, 0}.
struct NodeId {
  uint32_t directory = 0;  // first cluster of the directory that holds the entry
  uint32_t index = 0;      // number of the short entry in that directory, counting 32-byte entries

  bool is_root() const { return directory == 0; }
  bool operator==(const NodeId&) const = default;
};

// What a path names.
struct Node {
  NodeId id;
  bool is_directory = false;
  uint8_t attributes = 0;      // the entry's attribute byte; kDirectory for the root
  uint32_t size = 0;           // bytes of a file; 0 for a directory
  uint32_t first_cluster = 0;  // 0 for an empty file; the root's cluster for the root
  std::string path;            // absolute, every name as stored on the volume, e.g. "/Photos/Img 1.JPG"

  bool is_root() const { return id.is_root(); }
  bool read_only() const { return (attributes & attr::kReadOnly) != 0; }
};

// How open() treats the file a path names.
struct OpenRequest {
  bool write = false;      // will be written: refused for directories (-21), read-only files (-13) and
                           // on a read-only volume (-30)
  bool create = false;     // create an empty file when the name does not exist
  bool exclusive = false;  // with create: -17 when the name exists
  bool truncate = false;   // with write: cut an existing file to 0 bytes
};

// Counts of what the layer did, for tests and measurements.
struct MountStats {
  uint64_t clusters_allocated = 0;
  uint64_t clusters_freed = 0;
};

// The file system on one volume for the length of a run. Paths are absolute ("/a/b"), with '.', '..'
// and repeated '/' taken as Volume::lookup takes them; names compare without regard to case and match
// long and short names. Results are kOk (0), a count (>= 0) or a negative kernel code (fat32/errors.h).
//
// Codes common to the calls that take a path: -2 a component (or, for a lookup, the name) does not
// exist; -20 a component before the last is not a directory; -22 malformed path, or a new name with a
// character FAT forbids (control characters and "*/:<>?\|) or ending in '.' or ' '; -36 a component
// longer than 255 characters; -5 the volume is unreadable or inconsistent (problem() says why).
// Codes of every call that writes: -30 read-only volume (nothing is written), -28 no room (nothing is
// changed), -5 a write failed (the volume is left as before the call where it can be undone, and marked
// dirty otherwise).
//
// Locking: the image is held for the whole run: exclusively when the volume is writable, shared when it
// is read-only, so another run on the same image waits until this one detaches. The repair (call 84)
// runs under the same hold through repair().
//
// Dirty mark: the first write of the run clears the clean-shutdown bit in FAT[1] of every FAT copy;
// detach() sets it again, but only when it was set at attach and no write of the run failed half-way.
// A run killed before detach() leaves the volume marked dirty.
class Mount {
 public:
  // Takes the image lock for the run (see above). The volume must outlive the mount.
  explicit Mount(Volume& volume);
  // Detaches (see detach()).
  ~Mount();
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;

  Volume& volume() { return volume_; }
  bool read_only() const { return volume_.read_only(); }
  const std::string& problem() const { return volume_.problem(); }
  const MountStats& stats() const { return stats_; }

  // Ends the run: abandons unfinished replacements (their clusters are freed), marks
  // the volume clean as described above and releases the image lock. Further calls answer -5 (-9 for
  // replacement handles). kOk, or -5 when something could not be written. Idempotent.
  int32_t detach();

  // --- Lookups ---

  // The node `path` names. A trailing '/' asks for a directory (-20 otherwise).
  int32_t lookup(std::string_view path, Node& node);
  // The node at `id` as it is now (size, attributes, first cluster; `path` is left empty). -2 when the
  // entry there is no longer live (deleted).
  int32_t node(const NodeId& id, Node& node);

  // The live entries of the directory `id` in directory order, as Volume::list_directory gives them
  // ("." and ".." included where it has them, volume labels too; long-name slots folded into their
  // entries). -20 when `id` is not a directory, -2 when its entry is gone.
  int32_t list_directory(const NodeId& id, std::vector<DirEntryInfo>& entries);

  // --- Files by identity (what a descriptor holds) ---

  // Reads up to out.size() bytes at `offset` of the file `id`: the count read, 0 at or past the end.
  // -21 for a directory, -2 when the entry is gone.
  int32_t read(const NodeId& id, uint64_t offset, std::span<uint8_t> out);
  // Writes `data` at `offset`, growing the file as needed; a gap between the old end and `offset` reads
  // as zeros. All or nothing: the count written (data.size()), or -28 (no room), -27 (the file would pass
  // 4 GiB - 1), -21 (a directory), -2 (entry gone), -30, -5. Sets the write date and time, the access
  // date and the archive bit.
  int32_t write(const NodeId& id, uint64_t offset, std::span<const uint8_t> data);
  // Cuts the file to 0 bytes: the entry first, then its clusters are freed. kOk, -21, -2, -30, -5.
  int32_t truncate(const NodeId& id);

  // --- Paths ---

  // Opens (and with request.create makes) the file `path` names; `node` is what it names afterwards.
  // A directory opens for reading (node.is_directory tells); for writing it is -21. -17 when it exists
  // and request.exclusive; -13 when request.write and the file has the read-only attribute; -2 when it
  // does not exist and !request.create, or the parent does not exist; -21 when creating a name that
  // ends in '/'. New files get the creation, write and access dates of now (host local time) and the
  // archive bit.
  int32_t open(std::string_view path, const OpenRequest& request, Node& node);

  // Makes a directory: a zeroed cluster with "." and "..", the dates of now. -17 when the name exists.
  int32_t mkdir(std::string_view path);
  // Removes an empty directory: -39 when it holds anything but "." and "..", -16 for the root, -20 when
  // it is not a directory, -22 when the last component is "." or "..".
  int32_t rmdir(std::string_view path);
  // Removes a file: its entry and long-name slots are marked free, then its clusters. -21 for a
  // directory (the root included).
  int32_t unlink(std::string_view path);

  // --- Whole-file replacement (crash-safe) ---
  //
  // The new content goes into newly allocated clusters that nothing points at; commit then links them
  // (FAT, every copy) and switches the directory entry to the new chain and size in one sector write,
  // and only then frees the old chain. Until that sector write the old file is intact; on any failure
  // the new clusters are released, so none is leaked. A replacement never committed leaves the volume
  // as it was.

  // Creates or replaces the whole file `path` with `content`: kOk, or -21 (a directory), -13 (a
  // read-only file), -28, -27, -2, -20, -22, -36, -30, -5.
  int32_t replace(std::string_view path, std::span<const uint8_t> content);

  // The same in steps, for content that arrives in pieces. begin_replace checks the path as replace
  // does and answers a handle (>= 1) or a negative code; append adds bytes (-28 when no room is left:
  // the replacement stays open and may still be abandoned; -9 for an unknown handle); commit ends it
  // (same codes as replace, -9 for an unknown handle) and abandon drops it. Either way the handle is
  // gone afterwards. The path is looked up again at commit: a file made or removed meanwhile is
  // replaced or made.
  int32_t begin_replace(std::string_view path);
  int32_t append(int32_t handle, std::span<const uint8_t> data);
  int32_t commit(int32_t handle);
  int32_t abandon(int32_t handle);

  // --- The repair ---

  // Call 84 on this volume, under the run's hold of the image; its own dirty and clean marks agree
  // with the run's (a volume the run already marked dirty stays dirty until detach()).
  int32_t repair(std::string_view path, const RepairOptions& options);

  // --- Testing ---

  // Makes the `nth` write to the image from now on (1 = the next) fail, and with `persistent` every one
  // after it too; 0 turns failing off. See Volume::inject_write_fault.
  void inject_write_fault(uint64_t nth, bool persistent = false);

 private:
  struct Impl;
  Volume& volume_;
  std::unique_ptr<Impl> impl_;
  MountStats stats_;
};

}  // namespace vornos::fat32
