// The one table of calls, checked against the system's call list, and serving a call by it.
#include "calls/call_table.h"

#include <algorithm>
#include <array>

#include "base/abi.h"
#include "base/error_codes.h"
#include "calls/handlers.h"

namespace vornos::kernel {
namespace {

constexpr CallRow kRows[] = {
    {call::write, handlers::write},
    {call::exit, handlers::exit},
    {call::read, handlers::read},
    {call::open, handlers::open},
    {call::close, handlers::close},
    {call::getkey, handlers::getkey},
    {call::writefile, handlers::writefile},
    {call::usleep, handlers::usleep},
    {call::mkdir, handlers::mkdir},
    {call::unlink, handlers::unlink},
    {call::rmdir, handlers::rmdir},
    {call::getcwd, handlers::getcwd},
    {call::vornfs_stream_begin, handlers::stream_begin},
    {call::vornfs_stream_write, handlers::stream_write},
    {call::vornfs_stream_end, handlers::stream_end},
    {call::repair_dirents, handlers::repair_dirents},
    {call::chdir, handlers::chdir},
    {call::mmap, handlers::mmap},
    {call::munmap, handlers::munmap},
    {call::lseek, handlers::lseek},
    {call::pipe, handlers::pipe},
    {call::mkfifo, handlers::mkfifo},
    {call::dup, handlers::dup},
    {call::dup2, handlers::dup2},
    {call::fd_set_inherit, handlers::fd_set_inherit},
    {call::fd_set_stdio, handlers::fd_set_stdio},
    {call::fd_set_nonblock, handlers::fd_set_nonblock},
    {call::spawn, handlers::spawn},
    {call::waitpid, handlers::waitpid},
    {call::spawn_ex, handlers::spawn_ex},
};

// The table and the call list agree row for row: the same calls in the list's order, every
// call of the list served.
constexpr bool rows_match_the_call_list() {
  if (std::size(kRows) != std::size(abi::kCalls)) return false;
  for (size_t index = 0; index < std::size(kRows); ++index) {
    if (kRows[index].number != abi::kCalls[index].number) return false;
  }
  return true;
}
static_assert(rows_match_the_call_list(), "the call table and the system's call list disagree");

// The handler of each call number, so that serving a call is one index.
constexpr uint32_t kHighestNumber = std::ranges::max(kRows, {}, &CallRow::number).number;
constexpr std::array<CallHandler, kHighestNumber + 1> kByNumber = [] {
  std::array<CallHandler, kHighestNumber + 1> table{};
  for (const CallRow& row : kRows) table[row.number] = row.handler;
  return table;
}();

CallOutcome dispatch(CallContext& context) {
  const KernelCall& call = context.pending.call;
  const CallHandler handler = call.number <= kHighestNumber ? kByNumber[call.number] : nullptr;
  if (handler == nullptr) return {kNotImplemented};
  return handler(context, call.args);
}

}  // namespace

CallOutcome serve_call(CallContext& context, const KernelCall& call) {
  context.pending = PendingCall{call};
  if (context.hooks != nullptr) {
    if (const std::optional<int32_t> answer = context.hooks->intercept(context.pending.call, context.memory)) return {*answer};
  }
  return dispatch(context);
}

CallOutcome serve_again(CallContext& context) { return dispatch(context); }

}  // namespace vornos::kernel
