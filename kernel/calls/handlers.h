// The handlers of the call table, by family. Each takes the caller's context and the call's
// registers and answers a result, the end of the program, or what the call waits for.
#pragma once

#include <cstdint>
#include <string>

#include "calls/call_context.h"
#include "calls/call_outcome.h"

namespace vornos::kernel::handlers {

// io_calls.cpp: the bytes of any descriptor.
CallOutcome write(CallContext& context, const CallArgs& args);
CallOutcome read(CallContext& context, const CallArgs& args);

// file_calls.cpp: the volume's files and directories, and the fifo names among them.
CallOutcome open(CallContext& context, const CallArgs& args);
CallOutcome close(CallContext& context, const CallArgs& args);
CallOutcome lseek(CallContext& context, const CallArgs& args);
CallOutcome writefile(CallContext& context, const CallArgs& args);
CallOutcome stream_begin(CallContext& context, const CallArgs& args);
CallOutcome stream_write(CallContext& context, const CallArgs& args);
CallOutcome stream_end(CallContext& context, const CallArgs& args);
CallOutcome mkdir(CallContext& context, const CallArgs& args);
CallOutcome rmdir(CallContext& context, const CallArgs& args);
CallOutcome unlink(CallContext& context, const CallArgs& args);
CallOutcome chdir(CallContext& context, const CallArgs& args);
CallOutcome getcwd(CallContext& context, const CallArgs& args);

// spawn_calls.cpp: programs starting, waiting for each other and ending.
CallOutcome exit(CallContext& context, const CallArgs& args);
CallOutcome spawn(CallContext& context, const CallArgs& args);
CallOutcome spawn_ex(CallContext& context, const CallArgs& args);
CallOutcome waitpid(CallContext& context, const CallArgs& args);
CallOutcome fd_set_stdio(CallContext& context, const CallArgs& args);
CallOutcome fd_set_inherit(CallContext& context, const CallArgs& args);

// pipe_calls.cpp: pipes, fifos and the descriptors that share them.
CallOutcome pipe(CallContext& context, const CallArgs& args);
CallOutcome mkfifo(CallContext& context, const CallArgs& args);
CallOutcome dup(CallContext& context, const CallArgs& args);
CallOutcome dup2(CallContext& context, const CallArgs& args);
CallOutcome fd_set_nonblock(CallContext& context, const CallArgs& args);

// mapping_calls.cpp: mappings in the program's address space.
CallOutcome mmap(CallContext& context, const CallArgs& args);
CallOutcome munmap(CallContext& context, const CallArgs& args);

// time_key_calls.cpp: calls that wait on time or on the runner's input.
CallOutcome getkey(CallContext& context, const CallArgs& args);
CallOutcome usleep(CallContext& context, const CallArgs& args);

// repair_call.cpp
CallOutcome repair_dirents(CallContext& context, const CallArgs& args);

// Helpers the families share.
// The absolute path a call names: the program's string, relative ones taken from the working
// directory. 0, or -14, -36 (4096 bytes or more), -2 (empty), -38 (no volume).
int32_t path_argument(CallContext& context, uint32_t address, std::string& path);
// The open of the fifo `pipe` (file_calls.cpp's open on a fifo's name): a descriptor once the
// other side is open, a wait until then.
CallOutcome open_fifo(CallContext& context, std::shared_ptr<Pipe> pipe, uint32_t flags);
CallOutcome finish_fifo_open(CallContext& context);

}  // namespace vornos::kernel::handlers
