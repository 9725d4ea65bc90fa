// The one table of calls, checked against the system's call list, and serving a call by it.
#include "calls/call_table.h"

#include <algorithm>
#include <string_view>

#include "base/abi.h"
#include "base/error_codes.h"
#include "calls/handlers.h"

namespace vornos::kernel {
namespace {

constexpr CallRow kRows[] = {
    {call::write, "write", handlers::write},
    {call::exit, "exit", handlers::exit},
    {call::read, "read", handlers::read},
    {call::open, "open", handlers::open},
    {call::close, "close", handlers::close},
    {call::getkey, "getkey", handlers::getkey},
    {call::writefile, "writefile", handlers::writefile},
    {call::usleep, "usleep", handlers::usleep},
    {call::mkdir, "mkdir", handlers::mkdir},
    {call::unlink, "unlink", handlers::unlink},
    {call::rmdir, "rmdir", handlers::rmdir},
    {call::getcwd, "getcwd", handlers::getcwd},
    {call::vornfs_stream_begin, "vornfs_stream_begin", handlers::stream_begin},
    {call::vornfs_stream_write, "vornfs_stream_write", handlers::stream_write},
    {call::vornfs_stream_end, "vornfs_stream_end", handlers::stream_end},
    {call::repair_dirents, "repair_dirents", handlers::repair_dirents},
    {call::chdir, "chdir", handlers::chdir},
    {call::mmap, "mmap", handlers::mmap},
    {call::munmap, "munmap", handlers::munmap},
    {call::lseek, "lseek", handlers::lseek},
    {call::pipe, "pipe", handlers::pipe},
    {call::mkfifo, "mkfifo", handlers::mkfifo},
    {call::dup, "dup", handlers::dup},
    {call::dup2, "dup2", handlers::dup2},
    {call::fd_set_inherit, "fd_set_inherit", handlers::fd_set_inherit},
    {call::fd_set_stdio, "fd_set_stdio", handlers::fd_set_stdio},
    {call::fd_set_nonblock, "fd_set_nonblock", handlers::fd_set_nonblock},
    {call::spawn, "spawn", handlers::spawn},
    {call::waitpid, "waitpid", handlers::waitpid},
    {call::spawn_ex, "spawn_ex", handlers::spawn_ex},
};

// The table and the call list agree row for row: the same numbers under the same names, in
// the list's order, every call of the list served.
constexpr bool rows_match_the_call_list() {
  if (std::size(kRows) != std::size(abi::kCalls)) return false;
  for (size_t index = 0; index < std::size(kRows); ++index) {
    if (kRows[index].number != abi::kCalls[index].number || kRows[index].name != std::string_view(abi::kCalls[index].name)) return false;
  }
  return true;
}
static_assert(rows_match_the_call_list(), "the call table and the system's call list disagree");

CallOutcome dispatch(CallContext& context) {
  const KernelCall& call = context.pending.call;
  const auto row = std::ranges::find(kRows, call.number, &CallRow::number);
  if (row == std::end(kRows)) return {kNotImplemented};
  return row->handler(context, call.args);
}

}  // namespace

std::span<const CallRow> call_rows() { return kRows; }

CallOutcome serve_call(CallContext& context, const KernelCall& call) {
  context.pending = PendingCall{call};
  if (context.hooks != nullptr) {
    if (const std::optional<int32_t> answer = context.hooks->intercept(context.pending.call, context.memory)) return {*answer};
  }
  return dispatch(context);
}

CallOutcome serve_again(CallContext& context) { return dispatch(context); }

}  // namespace vornos::kernel
