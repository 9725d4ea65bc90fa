// The mount's state: the run's hold on the image, the dirty mark, detaching, and the repair.
#include "fat32/mount.h"

#include "fat32/errors.h"
#include "fat32/mount_impl.h"
#include "fat32/repair.h"

namespace vornos::fat32 {

Mount::Mount(Volume& volume) : volume_(volume), impl_(std::make_unique<Impl>(volume)) {
  volume_.hold_for_run(!volume_.read_only());
  volume_.accept_interrupted_links(true);
}

Mount::~Mount() { detach(); }

int32_t Mount::detach() {
  Impl& m = *impl_;
  if (m.detached) return kOk;
  for (auto& [handle, staging] : m.stagings) m.pool.release(staging.clusters);
  m.stagings.clear();
  int32_t result = kOk;
  if (m.marked_dirty) {
    result = volume_.sync();
    // The clean mark itself needs no flush: lost in a crash, it leaves the volume marked dirty, which
    // is safe; everything it vouches for was flushed before it.
    if (result == kOk && !m.failed_for_good()) result = m.clean_mark.set_again();
  }
  m.detached = true;
  m.directories.clear();
  volume_.accept_interrupted_links(false);
  volume_.release_run();
  return result;
}

int32_t Mount::Impl::mark_dirty() {
  if (detached) return kIoError;
  if (marked_dirty) return mark_failed ? kIoError : kOk;
  if (volume.read_only()) return kReadOnly;
  const int32_t rc = clean_mark.clear();
  marked_dirty = true;
  if (rc != kOk) mark_failed = true;
  return rc;
}

int32_t Mount::repair(std::string_view path, const RepairOptions& options) {
  if (impl_->detached) return kIoError;
  // The repair writes into directories behind the indexes' backs.
  impl_->directories.clear();
  const int32_t result = repair_dirents(volume_, path, options);
  impl_->directories.clear();
  return result;
}

void Mount::inject_write_fault(uint64_t nth, bool persistent) { volume_.inject_write_fault(nth, persistent); }

}  // namespace vornos::fat32
