// The calls of one process that involve other processes, pipes, time, keys and mappings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/abi.h"
#include "calls/call_table.h"

namespace vornos::kernel {

class Scheduler;
struct ProcessEntry;

class ProcessCalls final : public CallExtension {
 public:
  ProcessCalls(Scheduler& scheduler, ProcessEntry& self) : scheduler_(scheduler), self_(self) {}

  // The calls below by number, and the path calls on a fifo's name; nullopt for the rest.
  std::optional<CallOutcome> serve(const KernelCall& call, GuestMemory& memory) override;

  int32_t spawn(GuestMemory& memory, uint32_t path, uint32_t argv, int32_t argc, std::array<int32_t, 3> stdio, bool inherit);
  int32_t spawn_ex(GuestMemory& memory, uint32_t record, int32_t argc);
  int32_t waitpid(GuestMemory& memory, int32_t pid, uint32_t status, uint32_t options);
  int32_t fd_set_stdio(int32_t a, int32_t b, int32_t c);
  int32_t fd_set_inherit(uint32_t enable);
  int32_t fd_set_nonblock(int32_t fd, uint32_t enable);
  int32_t pipe(GuestMemory& memory, uint32_t fds);
  int32_t mkfifo(GuestMemory& memory, uint32_t path);
  int32_t open_fifo(const std::string& key, uint32_t flags);
  int32_t dup(int32_t fd);
  int32_t dup2(int32_t fd, int32_t target);
  int32_t getkey();
  int32_t usleep(uint32_t microseconds);
  int32_t mmap(uint32_t address, uint32_t length, uint32_t protection, uint32_t flags, int32_t fd, uint32_t offset);
  int32_t munmap(uint32_t address, uint32_t length);

 private:
  // What a path call answers when its path names a fifo (nullopt when it does not, or the
  // call is not a path call): the open of the fifo, its removal, or the refusal of a call
  // that would make a volume entry of the same name.
  std::optional<CallOutcome> serve_fifo_name(const KernelCall& call, GuestMemory& memory);
  // The name a fifo at `path` is known by, resolved as the volume resolves names: its parent
  // directory as stored on the volume (".", ".." and repeated '/' taken away), then its own
  // name folded as the volume compares names (FAT: without regard to case). 0, or
  // the parent's lookup failure; `key` stays empty for a path that can name no fifo ("/",
  // a last component "." or "..").
  int32_t fifo_key(const std::string& path, std::string& key);

  // The program file at `path`, read whole and checked: 0, or -2, -13 (a directory),
  // -8 (not a program this system runs), -27 (larger than any program can be).
  int32_t load_program(GuestMemory& memory, uint32_t path, std::string& name, std::vector<std::byte>& image);

  Scheduler& scheduler_;
  ProcessEntry& self_;
};

}  // namespace vornos::kernel
