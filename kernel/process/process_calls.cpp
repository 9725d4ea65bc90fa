// Programs and descriptors: spawn, spawn_ex, waitpid, the fd_set calls, pipe, mkfifo, dup, dup2.
#include "process/process_calls.h"

#include "base/abi.h"
#include "base/error_codes.h"
#include "pipes/pipe.h"
#include "base/blocking.h"
#include "process/elf_check.h"
#include "process/scheduler.h"

namespace vornos::kernel {
namespace {

// A program's arguments together, as Linux's own limit for one argument string.
constexpr size_t kArgumentBytes = 128 * 1024;
// The largest program file spawn loads.
constexpr uint32_t kLargestProgram = 64 * 1024 * 1024;
constexpr uint32_t kNoHang = 1;

int32_t write_word(GuestMemory& memory, uint32_t address, uint32_t value) {
  return memory.write(address, std::as_bytes(std::span(&value, 1)));
}

}  // namespace

std::optional<CallOutcome> ProcessCalls::serve(const KernelCall& call, GuestMemory& memory) {
  const auto& a = call.args;
  const auto fd = static_cast<int32_t>(a[0]);
  switch (call.number) {
    case call::spawn: return CallOutcome{spawn(memory, a[0], a[1], static_cast<int32_t>(a[2]), {-1, -1, -1}, false)};
    case call::spawn_ex: return CallOutcome{spawn_ex(memory, a[0], static_cast<int32_t>(a[1]))};
    case call::waitpid: return CallOutcome{waitpid(memory, fd, a[1], a[2])};
    case call::fd_set_stdio: return CallOutcome{fd_set_stdio(fd, static_cast<int32_t>(a[1]), static_cast<int32_t>(a[2]))};
    case call::fd_set_inherit: return CallOutcome{fd_set_inherit(a[0])};
    case call::fd_set_nonblock: return CallOutcome{fd_set_nonblock(fd, a[1])};
    case call::pipe: return CallOutcome{pipe(memory, a[0])};
    case call::mkfifo: return CallOutcome{mkfifo(memory, a[0])};
    case call::dup: return CallOutcome{dup(fd)};
    case call::dup2: return CallOutcome{dup2(fd, static_cast<int32_t>(a[1]))};
    case call::getkey: return CallOutcome{getkey()};
    case call::usleep: return CallOutcome{usleep(a[0])};
    case call::mmap: return CallOutcome{mmap(a[0], a[1], a[2], a[3], static_cast<int32_t>(a[4]), a[5])};
    case call::munmap: return CallOutcome{munmap(a[0], a[1])};
    default: return serve_fifo_name(call, memory);
  }
}

int32_t ProcessCalls::fifo_key(const std::string& path, std::string& key) {
  key.clear();
  const size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return 0;
  const size_t slash = path.rfind('/', end);
  const std::string name = path.substr(slash + 1, end - slash);
  if (name == "." || name == "..") return 0;
  NodeInfo parent;
  if (const int32_t status = scheduler_.file_system()->lookup(slash == 0 ? "/" : path.substr(0, slash), parent); status < 0) {
    return status;
  }
  if (!parent.is_directory) return kNotDirectory;
  key = (parent.path == "/" ? "/" : parent.path + "/") + scheduler_.file_system()->name_key(name);
  return 0;
}

std::optional<CallOutcome> ProcessCalls::serve_fifo_name(const KernelCall& call, GuestMemory& memory) {
  const uint32_t number = call.number;
  if (number != call::open && number != call::writefile && number != call::vornfs_stream_begin && number != call::mkdir &&
      number != call::unlink && number != call::rmdir && number != call::chdir) {
    return std::nullopt;
  }
  std::string path, key;
  if (scheduler_.fifos().empty() || self_.calls->path_argument(memory, call.args[0], path) != 0 ||
      fifo_key(path, key) != 0 || !scheduler_.fifos().contains(key)) {
    return std::nullopt;
  }
  // A name is a fifo or a volume entry, never both.
  switch (number) {
    case call::open:
      return CallOutcome{(call.args[1] & open_flag::kCreate) != 0 ? kExists : open_fifo(key, call.args[1])};
    case call::unlink: scheduler_.fifos().remove(key); return CallOutcome{0};
    case call::rmdir: case call::chdir: return CallOutcome{kNotDirectory};
    default: return CallOutcome{kExists};  // writefile, the streamed write, mkdir
  }
}

int32_t ProcessCalls::load_program(GuestMemory& memory, uint32_t path_address, std::string& name,
                                   std::vector<std::byte>& image) {
  FileSystem* file_system = scheduler_.file_system();
  std::string path;
  if (const int32_t status = self_.calls->path_argument(memory, path_address, path); status != 0) return status;
  if (memory.read_string(path_address, kPathLimit, name) != 0) return kBadAddress;
  NodeInfo node;
  if (const int32_t status = file_system->lookup(path, node); status < 0) return status;
  if (node.is_directory) return kAccessDenied;
  if (node.size > kLargestProgram) return kFileTooBig;
  image.resize(node.size);
  size_t have = 0;
  while (have < image.size()) {
    const int32_t got = file_system->read(node.key, have, std::span(image).subspan(have));
    if (got < 0) return got;
    if (got == 0) break;
    have += static_cast<size_t>(got);
  }
  image.resize(have);
  return check_program_image(image).empty() ? 0 : kNotExecutable;
}

int32_t ProcessCalls::spawn(GuestMemory& memory, uint32_t path, uint32_t argv, int32_t argc, std::array<int32_t, 3> stdio,
                            bool inherit) {
  if (argc < 0) return kInvalidArgument;
  std::string name;
  std::vector<std::byte> image;
  if (const int32_t status = load_program(memory, path, name, image); status != 0) return status;

  std::vector<std::string> arguments;
  if (argv == 0 || argc == 0) {
    arguments.push_back(name);
  } else {
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
  }

  // The child's descriptors: its 0-2 from the parent's named ones, and with inheritance
  // every other open descriptor at its own number; all share the parent's descriptions.
  auto child = std::make_unique<Process>();
  const DescriptorTable& mine = self_.process->descriptors;
  if (inherit || self_.children_inherit) {
    for (int32_t fd = DescriptorTable::kFirstOpened; fd < DescriptorTable::kLimit; ++fd) child->descriptors.install(fd, mine.share(fd));
  }
  for (int32_t fd = 0; fd < 3; ++fd) {
    const int32_t from = stdio[static_cast<size_t>(fd)] == -1 ? self_.child_stdio[static_cast<size_t>(fd)] : stdio[static_cast<size_t>(fd)];
    child->descriptors.install(fd, mine.share(from));
  }
  child->working_directory = self_.process->working_directory;
  if (NodeInfo node; scheduler_.file_system()->lookup(child->working_directory, node) == 0) {
    child->working_directory_hold = NodeHold(*scheduler_.file_system(), node.key);
  }
  return scheduler_.spawn(self_, image, arguments, std::move(child));
}

int32_t ProcessCalls::spawn_ex(GuestMemory& memory, uint32_t record_address, int32_t argc) {
  // The record lives only for the call: everything is taken from this copy.
  SpawnRecord record;
  if (memory.read(record_address, std::as_writable_bytes(std::span(&record, 1))) != 0) return kBadAddress;
  if (argc != record.argc) return kInvalidArgument;
  return spawn(memory, record.path, record.argv, record.argc, {record.a, record.b, record.c}, record.flag != 0);
}

int32_t ProcessCalls::waitpid(GuestMemory& memory, int32_t pid, uint32_t status, uint32_t options) {
  if ((pid <= 0 && pid != -1) || (options & ~kNoHang) != 0) return kInvalidArgument;
  ProcessEntry* ended = nullptr;
  bool any = false;
  scheduler_.for_each_child(self_.id, [&](ProcessEntry& child) {
    if (pid != -1 && child.id != pid) return;
    any = true;
    if (child.state == ProcessEntry::State::ended && ended == nullptr) ended = &child;
  });
  if (!any) return kNoChild;
  if (ended == nullptr) return (options & kNoHang) != 0 ? 0 : kWouldWait;
  // The status is stored before the child is let go, so a bad address leaves it waitable.
  if (status != 0 && write_word(memory, status, static_cast<uint32_t>(ended->exit_status)) != 0) return kBadAddress;
  const int32_t id = ended->id;
  scheduler_.reap(id);
  return id;
}

int32_t ProcessCalls::fd_set_stdio(int32_t a, int32_t b, int32_t c) {
  self_.child_stdio = {a, b, c};
  return 0;
}

int32_t ProcessCalls::fd_set_inherit(uint32_t enable) {
  self_.children_inherit = enable != 0;
  return 0;
}

int32_t ProcessCalls::fd_set_nonblock(int32_t fd, uint32_t enable) {
  OpenFile* file = self_.process->descriptors.find(fd);
  if (file == nullptr) return kBadDescriptor;
  file->nonblocking = enable != 0;
  return 0;
}

int32_t ProcessCalls::pipe(GuestMemory& memory, uint32_t fds) {
  DescriptorTable& table = self_.process->descriptors;
  // Both numbers must fit where the program wants them before anything is opened.
  std::array<int32_t, 2> ends{-1, -1};
  if (memory.read(fds, std::as_writable_bytes(std::span(ends))) != 0 || memory.write(fds, std::as_bytes(std::span(ends))) != 0) {
    return kBadAddress;
  }
  auto shared = std::make_shared<Pipe>();
  ends[0] = table.add(std::make_shared<PipeEnd>(shared, PipeEnd::Side::read), 0);
  if (ends[0] < 0) return ends[0];
  ends[1] = table.add(std::make_shared<PipeEnd>(shared, PipeEnd::Side::write), 0);
  if (ends[1] < 0) {
    table.close(ends[0]);
    return ends[1];
  }
  memory.write(fds, std::as_bytes(std::span(ends)));
  return 0;
}

int32_t ProcessCalls::mkfifo(GuestMemory& memory, uint32_t path_address) {
  std::string path;
  if (const int32_t status = self_.calls->path_argument(memory, path_address, path); status != 0) return status;
  // Like any new name, a fifo's lives in a directory that exists.
  std::string key;
  if (const int32_t status = fifo_key(path, key); status != 0) return status;
  NodeInfo node;
  if (key.empty() || scheduler_.fifos().contains(key) || scheduler_.file_system()->lookup(path, node) == 0) return kExists;
  scheduler_.fifos().add(key);
  return 0;
}

int32_t ProcessCalls::open_fifo(const std::string& key, uint32_t flags) {
  const uint32_t access = flags & open_flag::kAccessMask;
  // One end per open: a fifo opened for both would be its own partner.
  if (access != 0 && access != 1) return kInvalidArgument;
  if (!self_.opening) {
    if (self_.process->descriptors.full()) return kTooManyOpenFiles;
    self_.opening = FifoOpening::begin(scheduler_.fifos().find(key), access == 0 ? PipeEnd::Side::read : PipeEnd::Side::write);
  }
  if (!self_.opening->partnered()) return kWouldWait;
  const int32_t fd = self_.process->descriptors.add(std::move(self_.opening->end));
  self_.opening.reset();
  return fd;
}

int32_t ProcessCalls::dup(int32_t fd) {
  DescriptorTable& table = self_.process->descriptors;
  if (table.find(fd) == nullptr) return kBadDescriptor;
  return table.add(table.share(fd), 0);
}

int32_t ProcessCalls::dup2(int32_t fd, int32_t target) {
  DescriptorTable& table = self_.process->descriptors;
  if (table.find(fd) == nullptr || target < 0 || target >= DescriptorTable::kLimit) return kBadDescriptor;
  if (fd != target) table.install(target, table.share(fd));
  return target;
}

}  // namespace vornos::kernel
