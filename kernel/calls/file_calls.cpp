// Calls on the volume's names: open, close, lseek, writefile, the streamed write, mkdir,
// rmdir, unlink, chdir, getcwd; a name that is a fifo's is served as the fifo.
#include <algorithm>
#include <memory>
#include <string>

#include "base/error_codes.h"
#include "base/abi.h"
#include "calls/call_table.h"
#include "calls/guest_transfer.h"
#include "calls/handlers.h"
#include "vfs/volume_file.h"

namespace vornos::kernel::handlers {
namespace {

// Open's other flag bits are ignored, as Linux ignores flags it does not know.
using namespace open_flag;

// Appends `count` bytes of the program's buffer to the replacement `handle` piece by piece,
// so the kernel never holds much of it at once, however large the count. Answers the bytes
// appended; `failure` is the code that stopped it early (-14 at an unreadable byte), or 0.
uint32_t append_from_guest(FileSystem& file_system, GuestMemory& memory, int32_t handle, uint32_t buffer,
                           uint32_t count, int32_t& failure) {
  failure = 0;
  const int32_t taken = write_from_guest(memory, buffer, count, [&](std::span<const std::byte> bytes) {
    const int32_t status = file_system.append(handle, bytes);
    if (status < 0) failure = status;
    return status < 0 ? status : static_cast<int32_t>(bytes.size());
  });
  if (taken < 0) {
    if (failure == 0) failure = taken;
    return 0;
  }
  if (static_cast<uint32_t>(taken) < count && failure == 0) failure = kBadAddress;
  return static_cast<uint32_t>(taken);
}

// The path a call names, and whether a fifo has that name (a name is a fifo or a volume
// entry, never both, so a call that would make a volume entry there is refused).
struct NamedPath {
  int32_t status = 0;
  std::string path;
  bool fifo = false;
};

NamedPath named_path(CallContext& context, uint32_t address) {
  NamedPath named;
  named.status = path_argument(context, address, named.path);
  named.fifo = named.status == 0 && context.names.fifo(named.path) != nullptr;
  return named;
}

}  // namespace

int32_t path_argument(CallContext& context, uint32_t address, std::string& path) {
  if (context.volume == nullptr) return kNotImplemented;
  std::string given;
  if (const int32_t status = context.memory.read_string(address, kPathLimit, given); status != 0) return status;
  if (given.empty()) return kNoSuchFile;
  if (given.front() == '/') {
    path = std::move(given);
  } else {
    path = context.files.working_directory;
    if (path.back() != '/') path += '/';
    path += given;
  }
  return 0;
}

CallOutcome open(CallContext& context, const CallArgs& args) {
  // An open of a fifo that waits for the other side goes on with the pipe it began on, even
  // when the name has gone meanwhile.
  if (context.pending.opening) return finish_fifo_open(context);
  std::string path;
  if (const int32_t status = path_argument(context, args[0], path); status != 0) return {status};
  const uint32_t flags = args[1];
  if (std::shared_ptr<Pipe> fifo = context.names.fifo(path)) {
    if ((flags & kCreate) != 0) return {kExists};
    return open_fifo(context, std::move(fifo), flags);
  }
  const uint32_t access = flags & kAccessMask;
  if (access == kAccessMask) return {kInvalidArgument};
  VolumeFile::Mode mode;
  mode.readable = access != 1;
  mode.writable = access != 0;
  mode.append = (flags & kAppend) != 0;
  OpenRequest request;
  request.write = mode.writable;
  request.create = (flags & kCreate) != 0;
  request.exclusive = request.create && (flags & kExclusive) != 0;
  // Cutting a file opened only for reading would lose data nobody asked to replace.
  request.truncate = mode.writable && (flags & kTruncate) != 0;
  // Checked first, so that an open that cannot get a descriptor creates and cuts nothing.
  if (context.files.descriptors.full()) return {kTooManyOpenFiles};
  NodeInfo node;
  if (const int32_t status = context.volume->open(path, request, node); status < 0) return {status};
  return {context.files.descriptors.add(std::make_shared<VolumeFile>(*context.volume, node, mode))};
}

CallOutcome close(CallContext& context, const CallArgs& args) {
  return {context.files.descriptors.close(static_cast<int32_t>(args[0]))};
}

CallOutcome lseek(CallContext& context, const CallArgs& args) {
  OpenFile* file = context.files.descriptors.find(static_cast<int32_t>(args[0]));
  if (file == nullptr) return {kBadDescriptor};
  return {file->seek(static_cast<int32_t>(args[1]), args[2])};
}

CallOutcome writefile(CallContext& context, const CallArgs& args) {
  const NamedPath named = named_path(context, args[0]);
  if (named.status != 0) return {named.status};
  if (named.fifo) return {kExists};
  FileSystem& volume = *context.volume;
  // The replacement in steps, so that the program's buffer need not be copied whole first.
  const int32_t handle = volume.begin_replace(named.path);
  if (handle < 0) return {handle};
  int32_t failure = 0;
  append_from_guest(volume, context.memory, handle, args[1], std::min(args[2], kLargestCount), failure);
  if (failure != 0) {
    volume.abandon(handle);
    return {failure};
  }
  return {volume.commit(handle)};
}

CallOutcome stream_begin(CallContext& context, const CallArgs& args) {
  const NamedPath named = named_path(context, args[0]);
  if (named.status != 0) return {named.status};
  if (named.fifo) return {kExists};
  const int32_t handle = context.volume->begin_replace(named.path);
  if (handle >= 0) context.files.streams.insert(handle);
  return {handle};
}

CallOutcome stream_write(CallContext& context, const CallArgs& args) {
  const auto handle = static_cast<int32_t>(args[0]);
  if (!context.files.streams.contains(handle)) return {kBadDescriptor};
  // Like write: the bytes taken before an unreadable one or a failure count; the failure is
  // the answer only when none were.
  int32_t failure = 0;
  const uint32_t appended =
      append_from_guest(*context.volume, context.memory, handle, args[1], std::min(args[2], kLargestCount), failure);
  return {appended > 0 || failure == 0 ? static_cast<int32_t>(appended) : failure};
}

CallOutcome stream_end(CallContext& context, const CallArgs& args) {
  const auto handle = static_cast<int32_t>(args[0]);
  if (context.files.streams.erase(handle) == 0) return {kBadDescriptor};
  return {context.volume->commit(handle)};
}

CallOutcome mkdir(CallContext& context, const CallArgs& args) {
  const NamedPath named = named_path(context, args[0]);
  if (named.status != 0) return {named.status};
  if (named.fifo) return {kExists};
  return {context.volume->make_directory(named.path)};
}

CallOutcome rmdir(CallContext& context, const CallArgs& args) {
  const NamedPath named = named_path(context, args[0]);
  if (named.status != 0) return {named.status};
  if (named.fifo) return {kNotDirectory};
  FileSystem& volume = *context.volume;
  NodeInfo node;
  if (volume.lookup(named.path, node) == 0 && node.is_directory && volume.held(node.key)) return {kBusy};
  return {volume.remove_directory(named.path)};
}

CallOutcome unlink(CallContext& context, const CallArgs& args) {
  std::string path;
  if (const int32_t status = path_argument(context, args[0], path); status != 0) return {status};
  if (context.names.remove_fifo(path)) return {0};
  FileSystem& volume = *context.volume;
  NodeInfo node;
  if (volume.lookup(path, node) == 0 && !node.is_directory && volume.held(node.key)) return {kBusy};
  return {volume.remove_file(path)};
}

CallOutcome chdir(CallContext& context, const CallArgs& args) {
  const NamedPath named = named_path(context, args[0]);
  if (named.status != 0) return {named.status};
  if (named.fifo) return {kNotDirectory};
  NodeInfo node;
  if (const int32_t status = context.volume->lookup(named.path, node); status < 0) return {status};
  if (!node.is_directory) return {kNotDirectory};
  context.files.working_directory_hold = NodeHold(*context.volume, node.key);
  context.files.working_directory = node.path;
  return {0};
}

CallOutcome getcwd(CallContext& context, const CallArgs& args) {
  const std::string& path = context.files.working_directory;
  if (path.size() + 1 > args[1]) return {kOutOfRange};
  const auto bytes = std::as_bytes(std::span(path.c_str(), path.size() + 1));
  if (context.memory.write(args[0], bytes) != 0) return {kBadAddress};
  return {static_cast<int32_t>(bytes.size())};
}

}  // namespace vornos::kernel::handlers
