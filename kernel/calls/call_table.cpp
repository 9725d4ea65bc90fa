// Dispatch by call number, with the test hooks' recording and scripted answers in front.
#include "calls/call_table.h"

#include "base/abi.h"
#include "base/error_codes.h"
#include "test_hooks/test_hooks.h"

namespace vornos::kernel {

CallOutcome CallTable::serve(const KernelCall& call, GuestMemory& memory) {
  if (hooks_ == nullptr) return dispatch(call, memory);
  if (call.number == test_control::kCallNumber) return {hooks_->control(call, memory)};
  hooks_->note_call(call);
  return serve_scripted(call, memory);
}

CallOutcome CallTable::serve_scripted(const KernelCall& call, GuestMemory& memory) {
  std::optional<QueuedAnswer> answer = hooks_->take_answer(call.number);
  if (!answer) return dispatch(call, memory);
  const auto fd = static_cast<int32_t>(call.args[0]);
  switch (answer->kind) {
    case test_control::AnswerKind::short_write: {
      const uint32_t allowed = static_cast<uint32_t>(answer->value);
      return {write(memory, fd, call.args[1], call.args[2] < allowed ? call.args[2] : allowed)};
    }
    case test_control::AnswerKind::input: {
      // The given bytes stand in for the device, whatever descriptor was named.
      const uint32_t count = call.args[2] < answer->input.size() ? call.args[2] : static_cast<uint32_t>(answer->input.size());
      if (memory.write(call.args[1], std::span(answer->input).first(count)) != 0) return {kBadAddress};
      return {static_cast<int32_t>(count)};
    }
    case test_control::AnswerKind::result:
    default: return {answer->value};
  }
}

CallOutcome CallTable::dispatch(const KernelCall& call, GuestMemory& memory) {
  if (extension_ != nullptr) {
    if (std::optional<CallOutcome> outcome = extension_->serve(call, memory)) return *outcome;
  }
  const auto& a = call.args;
  switch (call.number) {
    case call::write: return {write(memory, static_cast<int32_t>(a[0]), a[1], a[2])};
    case call::read: return {read(memory, static_cast<int32_t>(a[0]), a[1], a[2])};
    case call::exit: return exit(static_cast<int32_t>(a[0]));
    case call::repair_dirents: return {repair_dirents(memory, a[0])};
    case call::open: return {open(memory, a[0], a[1])};
    case call::close: return {close(static_cast<int32_t>(a[0]))};
    case call::lseek: return {lseek(static_cast<int32_t>(a[0]), static_cast<int32_t>(a[1]), a[2])};
    case call::writefile: return {writefile(memory, a[0], a[1], a[2])};
    case call::mkdir: return {mkdir(memory, a[0])};
    case call::rmdir: return {rmdir(memory, a[0])};
    case call::unlink: return {unlink(memory, a[0])};
    case call::chdir: return {chdir(memory, a[0])};
    case call::getcwd: return {getcwd(memory, a[0], a[1])};
    case call::vornfs_stream_begin: return {stream_begin(memory, a[0])};
    case call::vornfs_stream_write: return {stream_write(memory, static_cast<int32_t>(a[0]), a[1], a[2])};
    case call::vornfs_stream_end: return {stream_end(static_cast<int32_t>(a[0]))};
    default: return {kNotImplemented};
  }
}

CallOutcome CallTable::exit(int32_t status) { return {0, true, status & 0xff}; }

}  // namespace vornos::kernel
