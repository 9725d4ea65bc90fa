// The file system on a volume: the run's hold on the image and the calls, not yet all served.
#include "fat32/mount.h"

#include "fat32/errors.h"

namespace vornos::fat32 {

struct Mount::Impl {
  bool detached = false;
};

Mount::Mount(Volume& volume) : volume_(volume), impl_(std::make_unique<Impl>()) {
  volume_.hold_for_run(!volume_.read_only());
}

Mount::~Mount() { detach(); }

int32_t Mount::detach() {
  if (!impl_->detached) {
    impl_->detached = true;
    volume_.release_run();
  }
  return kOk;
}

int32_t Mount::lookup(std::string_view, Node&) { return kNotImplemented; }
int32_t Mount::node(const NodeId&, Node&) { return kNotImplemented; }
int32_t Mount::read(const NodeId&, uint64_t, std::span<uint8_t>) { return kNotImplemented; }
int32_t Mount::write(const NodeId&, uint64_t, std::span<const uint8_t>) { return kNotImplemented; }
int32_t Mount::truncate(const NodeId&) { return kNotImplemented; }
int32_t Mount::open(std::string_view, const OpenRequest&, Node&) { return kNotImplemented; }
int32_t Mount::mkdir(std::string_view) { return kNotImplemented; }
int32_t Mount::rmdir(std::string_view) { return kNotImplemented; }
int32_t Mount::unlink(std::string_view) { return kNotImplemented; }
int32_t Mount::replace(std::string_view, std::span<const uint8_t>) { return kNotImplemented; }
int32_t Mount::begin_replace(std::string_view) { return kNotImplemented; }
int32_t Mount::append(int32_t, std::span<const uint8_t>) { return kNotImplemented; }
int32_t Mount::commit(int32_t) { return kNotImplemented; }
int32_t Mount::abandon(int32_t) { return kNotImplemented; }
int32_t Mount::repair(std::string_view path, const RepairOptions& options) {
  return repair_dirents(volume_, path, options);
}
void Mount::inject_write_fault(uint64_t nth, bool persistent) { volume_.inject_write_fault(nth, persistent); }

}  // namespace vornos::fat32
