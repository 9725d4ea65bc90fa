// Fifo names resolved through the volume's own path code.
#include "vfs/names.h"

#include "base/error_codes.h"

namespace vornos::kernel {

int32_t Names::key_of(std::string_view path, std::string& key) const {
  key.clear();
  if (volume_ == nullptr) return kNotImplemented;
  const size_t end = path.find_last_not_of('/');
  if (end == std::string_view::npos) return 0;
  const size_t slash = path.rfind('/', end);
  const std::string_view name = path.substr(slash + 1, end - slash);
  if (name == "." || name == "..") return 0;
  NodeInfo parent;
  if (const int32_t status = volume_->lookup(slash == 0 ? "/" : path.substr(0, slash), parent); status < 0) return status;
  if (!parent.is_directory) return kNotDirectory;
  key = (parent.path == "/" ? "/" : parent.path + "/") + volume_->name_key(name);
  return 0;
}

int32_t Names::make_fifo(std::string_view path, std::shared_ptr<Pipe> pipe) {
  // Like any new name, a fifo's lives in a directory that exists.
  std::string key;
  if (const int32_t status = key_of(path, key); status != 0) return status;
  NodeInfo node;
  if (key.empty() || fifos_.contains(key) || volume_->lookup(path, node) == 0) return kExists;
  fifos_.emplace(std::move(key), std::move(pipe));
  return 0;
}

std::shared_ptr<Pipe> Names::fifo(std::string_view path) const {
  // Most runs make no fifo: their path calls then cost no lookup here.
  if (fifos_.empty()) return nullptr;
  std::string key;
  if (key_of(path, key) != 0 || key.empty()) return nullptr;
  const auto found = fifos_.find(key);
  return found == fifos_.end() ? nullptr : found->second;
}

bool Names::remove_fifo(std::string_view path) {
  if (fifos_.empty()) return false;
  std::string key;
  if (key_of(path, key) != 0 || key.empty()) return false;
  return fifos_.erase(key) > 0;
}

}  // namespace vornos::kernel
