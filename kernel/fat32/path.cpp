// Path splitting.
#include "fat32/path.h"

#include "fat32/errors.h"
#include "fat32/text.h"

namespace vornos::fat32 {

int32_t split_path(std::string_view path, std::vector<std::u16string>& components) {
  components.clear();
  if (path.empty() || path.front() != '/') return kInvalid;
  size_t start = 0;
  while (start < path.size()) {
    const size_t slash = path.find('/', start);
    const size_t end = slash == std::string_view::npos ? path.size() : slash;
    if (end > start) {
      std::u16string component;
      if (!utf8_to_utf16(path.substr(start, end - start), component)) return kInvalid;
      if (component.size() > kMaxNameLength) return kNameTooLong;
      components.push_back(std::move(component));
    }
    start = end + 1;
  }
  return kOk;
}

void append_to_path(std::string& path, std::u16string_view name) {
  if (path != "/") path += '/';
  path += utf16_to_utf8(name);
}

std::string join_path(const std::string& parent, std::u16string_view name) {
  std::string path = parent;
  append_to_path(path, name);
  return path;
}

}  // namespace vornos::fat32
