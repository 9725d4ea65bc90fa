// Programs starting, waiting for each other and ending: exit, spawn, spawn_ex, waitpid, and
// the fd_set calls that say what a child's descriptors are.
#include <array>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "base/abi.h"
#include "calls/handlers.h"

namespace vornos::kernel::handlers {
namespace {

// A program's arguments together, as Linux's own limit for one argument string.
constexpr size_t kArgumentBytes = 128 * 1024;
// The largest program file spawn loads.
constexpr uint32_t kLargestProgram = 64 * 1024 * 1024;
constexpr uint32_t kNoHang = 1;

int32_t write_word(GuestMemory& memory, uint32_t address, uint32_t value) {
  return memory.write(address, std::as_bytes(std::span(&value, 1)));
}

// The program file at `path`, read whole and checked: 0, or -2, -13 (a directory),
// -8 (not a program this system runs), -27 (larger than any program can be).
int32_t load_program(CallContext& context, uint32_t path_address, std::string& name, std::vector<std::byte>& image) {
  std::string path;
  if (const int32_t status = path_argument(context, path_address, path); status != 0) return status;
  if (context.memory.read_string(path_address, kPathLimit, name) != 0) return kBadAddress;
  FileSystem& volume = *context.volume;
  NodeInfo node;
  if (const int32_t status = volume.lookup(path, node); status < 0) return status;
  if (node.is_directory) return kAccessDenied;
  if (node.size > kLargestProgram) return kFileTooBig;
  image.resize(node.size);
  size_t have = 0;
  while (have < image.size()) {
    const int32_t got = volume.read(node.key, have, std::span(image).subspan(have));
    if (got < 0) return got;
    if (got == 0) break;
    have += static_cast<size_t>(got);
  }
  image.resize(have);
  return context.programs->can_run(image) ? 0 : kNotExecutable;
}

// The program's argument strings: its `argc` pointers at `argv`, or its name alone.
int32_t read_arguments(GuestMemory& memory, uint32_t argv, int32_t argc, const std::string& name,
                       std::vector<std::string>& arguments) {
  if (argv == 0 || argc == 0) {
    arguments.push_back(name);
    return 0;
  }
  size_t total = 0;
  for (int32_t index = 0; index < argc; ++index) {
    uint32_t pointer = 0;
    if (memory.read(argv + 4 * static_cast<uint32_t>(index), std::as_writable_bytes(std::span(&pointer, 1))) != 0) {
      return kBadAddress;
    }
    std::string argument;
    if (memory.read_string(pointer, kArgumentBytes, argument) != 0) return kBadAddress;
    total += argument.size() + 1;
    if (total > kArgumentBytes) return kArgumentsTooLong;
    arguments.push_back(std::move(argument));
  }
  return 0;
}

int32_t start(CallContext& context, uint32_t path, uint32_t argv, int32_t argc, std::array<int32_t, 3> stdio, bool inherit) {
  if (context.programs == nullptr) return kNotImplemented;
  if (argc < 0) return kInvalidArgument;
  std::string name;
  std::vector<std::byte> image;
  if (const int32_t status = load_program(context, path, name, image); status != 0) return status;
  std::vector<std::string> arguments;
  if (const int32_t status = read_arguments(context.memory, argv, argc, name, arguments); status != 0) return status;

  // The child's descriptors: its 0-2 from the parent's named ones, and with inheritance
  // every other open descriptor at its own number; all share the parent's descriptions.
  const ProcessFiles& mine = context.files;
  auto child = std::make_unique<ProcessFiles>();
  if (inherit || mine.children_inherit) {
    for (int32_t fd = DescriptorTable::kFirstOpened; fd < DescriptorTable::kLimit; ++fd) {
      child->descriptors.install(fd, mine.descriptors.share(fd));
    }
  }
  for (size_t fd = 0; fd < 3; ++fd) {
    child->descriptors.install(static_cast<int32_t>(fd), mine.descriptors.share(stdio[fd] == -1 ? mine.child_stdio[fd] : stdio[fd]));
  }
  child->working_directory = mine.working_directory;
  if (NodeInfo node; context.volume->lookup(child->working_directory, node) == 0) {
    child->working_directory_hold = NodeHold(*context.volume, node.key);
  }
  return context.programs->start_child(image, arguments, std::move(child));
}

}  // namespace

CallOutcome exit(CallContext&, const CallArgs& args) { return CallOutcome::end_of_program(static_cast<int32_t>(args[0]) & 0xff); }

CallOutcome spawn(CallContext& context, const CallArgs& args) {
  return {start(context, args[0], args[1], static_cast<int32_t>(args[2]), {-1, -1, -1}, false)};
}

CallOutcome spawn_ex(CallContext& context, const CallArgs& args) {
  // The record lives only for the call: everything is taken from this copy.
  SpawnRecord record;
  if (context.memory.read(args[0], std::as_writable_bytes(std::span(&record, 1))) != 0) return {kBadAddress};
  if (static_cast<int32_t>(args[1]) != record.argc) return {kInvalidArgument};
  return {start(context, record.path, record.argv, record.argc, {record.a, record.b, record.c}, record.flag != 0)};
}

CallOutcome waitpid(CallContext& context, const CallArgs& args) {
  const auto pid = static_cast<int32_t>(args[0]);
  const uint32_t status = args[1];
  const uint32_t options = args[2];
  if ((pid <= 0 && pid != -1) || (options & ~kNoHang) != 0) return {kInvalidArgument};
  if (context.programs == nullptr) return {kNoChild};
  std::optional<ProcessControl::Child> ended;
  bool any = false;
  for (const ProcessControl::Child& child : context.programs->children()) {
    if (pid != -1 && child.id != pid) continue;
    any = true;
    if (child.ended && !ended) ended = child;
  }
  if (!any) return {kNoChild};
  if (!ended) return (options & kNoHang) != 0 ? CallOutcome{0} : CallOutcome::waiting(WaitCondition::child_end());
  // The status is stored before the child is let go, so a bad address leaves it waitable.
  if (status != 0 && write_word(context.memory, status, static_cast<uint32_t>(ended->exit_status)) != 0) return {kBadAddress};
  context.programs->reap(ended->id);
  return {ended->id};
}

CallOutcome fd_set_stdio(CallContext& context, const CallArgs& args) {
  context.files.child_stdio = {static_cast<int32_t>(args[0]), static_cast<int32_t>(args[1]), static_cast<int32_t>(args[2])};
  return {0};
}

CallOutcome fd_set_inherit(CallContext& context, const CallArgs& args) {
  context.files.children_inherit = args[0] != 0;
  return {0};
}

}  // namespace vornos::kernel::handlers
