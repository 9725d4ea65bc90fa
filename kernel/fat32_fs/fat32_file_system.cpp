// Fat32FileSystem: the file calls and call 84 on the attached image, with the repair log.
#include "fat32_fs/fat32_file_system.h"

#include "fat32_fs/directory_records.h"
#include "base/diagnostics.h"
#include "fat32/errors.h"
#include "fat32/repair.h"
#include "fat32/text.h"

namespace vornos::kernel {
namespace {

fat32::NodeId node_id(const NodeKey& key) { return {key.directory, key.index}; }

NodeInfo node_info(const fat32::Node& node) {
  return {{node.id.directory, node.id.index}, node.is_directory, node.size, node.path};
}

std::span<const uint8_t> as_octets(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

}  // namespace

std::unique_ptr<Fat32FileSystem> Fat32FileSystem::open(const std::string& image, Settings settings, std::string& error) {
  fat32::VolumeOpenOptions options;
  options.read_only = settings.dry_run || settings.read_only;
  options.snapshot = settings.snapshot;
  options.partition = settings.partition;
  std::unique_ptr<fat32::Volume> volume = fat32::Volume::open(image, options, error);
  if (!volume) {
    if (error.empty()) error = "cannot use " + image;
    return nullptr;
  }
  if (volume->snapshot() && !settings.snapshot_notice.empty() && settings.diagnostics != nullptr) {
    volume->set_write_hook([stream = settings.diagnostics, notice = settings.snapshot_notice,
                            told = false](uint64_t, std::span<const uint8_t>) mutable {
      if (!told) print_diagnostic(stream, notice);
      told = true;
    });
  }
  if (std::FILE* diagnostics = settings.diagnostics) {
    volume->set_wait_notice([diagnostics, image](const char* holder) {
      print_diagnostic(diagnostics, "waiting for " + image + ": another run is " + holder);
    });
  }
  volume->set_code_page(*settings.code_page);
  return std::make_unique<Fat32FileSystem>(std::move(volume), settings);
}

std::string Fat32FileSystem::name_key(std::string_view name) const {
  std::u16string wide;
  if (!fat32::utf8_to_utf16(name, wide)) return FileSystem::name_key(name);
  for (char16_t& c : wide) c = fat32::fold_case(c);
  return fat32::utf16_to_utf8(wide);
}

int32_t Fat32FileSystem::reported(int32_t result) {
  if (result == fat32::kIoError && settings_.diagnostics != nullptr && !mount_->problem().empty() &&
      mount_->problem() != reported_problem_) {
    reported_problem_ = mount_->problem();
    print_diagnostic(settings_.diagnostics, "volume unreadable or inconsistent: " + reported_problem_);
  }
  return result;
}

int32_t Fat32FileSystem::repair_dirents(std::string_view path) {
  fat32::RepairOptions options;
  options.dry_run = settings_.dry_run;
  if (std::FILE* log = settings_.repair_log) {
    // Names on the volume are data: control bytes in them are shown escaped.
    const char* prefix = settings_.dry_run ? "would repair " : "repaired ";
    options.on_repair = [log, prefix](const fat32::RepairRecord& record) {
      print_diagnostic(log, prefix + fat32::format_repair_record(record));
    };
  }
  return reported(mount_->repair(path, options));
}

int32_t Fat32FileSystem::lookup(std::string_view path, NodeInfo& node) {
  fat32::Node found;
  const int32_t result = mount_->lookup(path, found);
  if (result >= 0) node = node_info(found);
  return reported(result);
}

int32_t Fat32FileSystem::open(std::string_view path, const OpenRequest& request, NodeInfo& node) {
  fat32::OpenRequest wanted;
  wanted.write = request.write;
  wanted.create = request.create;
  wanted.exclusive = request.exclusive;
  wanted.truncate = request.truncate;
  fat32::Node opened;
  const int32_t result = mount_->open(path, wanted, opened);
  if (result >= 0) node = node_info(opened);
  return reported(result);
}

int32_t Fat32FileSystem::size_of(const NodeKey& key, uint32_t& size) {
  fat32::Node now;
  const int32_t result = mount_->node(node_id(key), now);
  if (result >= 0) size = now.size;
  return reported(result);
}

int32_t Fat32FileSystem::read(const NodeKey& key, uint64_t offset, std::span<std::byte> destination) {
  return reported(mount_->read(node_id(key), offset, {reinterpret_cast<uint8_t*>(destination.data()), destination.size()}));
}

int32_t Fat32FileSystem::list_directory(const NodeKey& key, std::vector<DirectoryRecord>& records) {
  std::vector<fat32::DirEntryInfo> entries;
  const int32_t result = mount_->list_directory(node_id(key), entries);
  if (result >= 0) records = directory_records(entries, volume_->root_cluster());
  return reported(result);
}

int32_t Fat32FileSystem::write(const NodeKey& key, uint64_t offset, std::span<const std::byte> source) {
  return reported(mount_->write(node_id(key), offset, as_octets(source)));
}

int32_t Fat32FileSystem::make_directory(std::string_view path) { return reported(mount_->mkdir(path)); }
int32_t Fat32FileSystem::remove_directory(std::string_view path) { return reported(mount_->rmdir(path)); }
int32_t Fat32FileSystem::remove_file(std::string_view path) { return reported(mount_->unlink(path)); }

int32_t Fat32FileSystem::begin_replace(std::string_view path) { return reported(mount_->begin_replace(path)); }

int32_t Fat32FileSystem::append(int32_t handle, std::span<const std::byte> source) {
  return reported(mount_->append(handle, as_octets(source)));
}

int32_t Fat32FileSystem::commit(int32_t handle) { return reported(mount_->commit(handle)); }
int32_t Fat32FileSystem::abandon(int32_t handle) { return reported(mount_->abandon(handle)); }
int32_t Fat32FileSystem::detach() { return reported(mount_->detach()); }

}  // namespace vornos::kernel
