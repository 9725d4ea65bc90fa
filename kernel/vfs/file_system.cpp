// The file calls of a file system that serves only the repair, and the holds on nodes.
#include "vfs/file_system.h"

#include "base/error_codes.h"

namespace vornos::kernel {

int32_t FileSystem::lookup(std::string_view, NodeInfo&) { return kNotImplemented; }

std::string FileSystem::name_key(std::string_view name) const {
  std::string key(name);
  for (char& c : key) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return key;
}
int32_t FileSystem::open(std::string_view, const OpenRequest&, NodeInfo&) { return kNotImplemented; }
int32_t FileSystem::size_of(const NodeKey&, uint32_t&) { return kNotImplemented; }
int32_t FileSystem::read(const NodeKey&, uint64_t, std::span<std::byte>) { return kNotImplemented; }
int32_t FileSystem::list_directory(const NodeKey&, std::vector<DirectoryRecord>&) { return kNotImplemented; }
int32_t FileSystem::write(const NodeKey&, uint64_t, std::span<const std::byte>) { return kNotImplemented; }
int32_t FileSystem::make_directory(std::string_view) { return kNotImplemented; }
int32_t FileSystem::remove_directory(std::string_view) { return kNotImplemented; }
int32_t FileSystem::remove_file(std::string_view) { return kNotImplemented; }
int32_t FileSystem::begin_replace(std::string_view) { return kNotImplemented; }
int32_t FileSystem::append(int32_t, std::span<const std::byte>) { return kNotImplemented; }
int32_t FileSystem::commit(int32_t) { return kNotImplemented; }
int32_t FileSystem::abandon(int32_t) { return kNotImplemented; }

void FileSystem::release(const NodeKey& key) {
  const auto found = holds_.find(key);
  if (found != holds_.end() && --found->second == 0) holds_.erase(found);
}

}  // namespace vornos::kernel
