// The call table: one function per kernel call, taking decoded arguments, returning the result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "calls/file_system.h"
#include "calls/process.h"
#include "base/abi.h"
#include "base/guest_memory.h"
#include "base/guest.h"

namespace vornos::kernel {

class TestHooks;

// What serving a call came to: a result for eax, or the end of the program.
struct CallOutcome {
  int32_t result = 0;
  bool ends_program = false;
  int exit_status = 0;  // when ends_program: the status as a process status (low 8 bits)
};

// Calls served beside this table (programs, pipes, keys, time, mappings), asked first.
class CallExtension {
 public:
  virtual ~CallExtension() = default;
  // What serving `call` came to, or nullopt when the extension leaves it to the table.
  virtual std::optional<CallOutcome> serve(const KernelCall& call, GuestMemory& memory) = 0;
};

class CallTable {
 public:
  // `file_system` is null when no volume is attached; `hooks` is null unless test hooks
  // are enabled, in which case the control call is served and calls are recorded and
  // scripted through them.
  CallTable(Process& process, FileSystem* file_system, TestHooks* hooks)
      : process_(process), file_system_(file_system), hooks_(hooks) {}

  // Serves one call by its number; calls this kernel does not serve answer -38.
  CallOutcome serve(const KernelCall& call, GuestMemory& memory);
  void set_extension(CallExtension* extension) { extension_ = extension; }

  // The absolute path a call names: the program's string, relative ones taken from the
  // working directory. 0, or -14, -36 (4096 bytes or more), -2 (empty), -38 (no volume).
  int32_t path_argument(GuestMemory& memory, uint32_t address, std::string& path);

  // The calls themselves.
  int32_t write(GuestMemory& memory, int32_t fd, uint32_t buffer, uint32_t count);
  int32_t read(GuestMemory& memory, int32_t fd, uint32_t buffer, uint32_t count);
  CallOutcome exit(int32_t status);
  int32_t repair_dirents(GuestMemory& memory, uint32_t path);
  int32_t open(GuestMemory& memory, uint32_t path, uint32_t flags);
  int32_t close(int32_t fd);
  int32_t lseek(int32_t fd, int32_t offset, uint32_t whence);
  int32_t writefile(GuestMemory& memory, uint32_t path, uint32_t buffer, uint32_t count);
  int32_t mkdir(GuestMemory& memory, uint32_t path);
  int32_t rmdir(GuestMemory& memory, uint32_t path);
  int32_t unlink(GuestMemory& memory, uint32_t path);
  int32_t chdir(GuestMemory& memory, uint32_t path);
  int32_t getcwd(GuestMemory& memory, uint32_t buffer, uint32_t size);
  int32_t stream_begin(GuestMemory& memory, uint32_t path);
  int32_t stream_write(GuestMemory& memory, int32_t handle, uint32_t buffer, uint32_t count);
  int32_t stream_end(int32_t handle);

 private:
  CallOutcome serve_scripted(const KernelCall& call, GuestMemory& memory);
  CallOutcome dispatch(const KernelCall& call, GuestMemory& memory);

  Process& process_;
  FileSystem* file_system_;
  TestHooks* hooks_;
  CallExtension* extension_ = nullptr;
};

}  // namespace vornos::kernel
