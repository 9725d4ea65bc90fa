// pipe, mkfifo and the open of a fifo; dup, dup2 and fd_set_nonblock on the descriptors that share them.
#include <array>
#include <memory>
#include <string>

#include "base/error_codes.h"
#include "base/abi.h"
#include "calls/handlers.h"
#include "pipes/fifos.h"
#include "pipes/pipe.h"

namespace vornos::kernel::handlers {

CallOutcome pipe(CallContext& context, const CallArgs& args) {
  DescriptorTable& table = context.files.descriptors;
  GuestMemory& memory = context.memory;
  const uint32_t fds = args[0];
  // Both numbers must fit where the program wants them before anything is opened.
  std::array<int32_t, 2> ends{-1, -1};
  if (memory.read(fds, std::as_writable_bytes(std::span(ends))) != 0 || memory.write(fds, std::as_bytes(std::span(ends))) != 0) {
    return {kBadAddress};
  }
  auto shared = std::make_shared<Pipe>();
  ends[0] = table.add(std::make_shared<PipeEnd>(shared, PipeEnd::Side::read), 0);
  if (ends[0] < 0) return {ends[0]};
  ends[1] = table.add(std::make_shared<PipeEnd>(shared, PipeEnd::Side::write), 0);
  if (ends[1] < 0) {
    table.close(ends[0]);
    return {ends[1]};
  }
  memory.write(fds, std::as_bytes(std::span(ends)));
  return {0};
}

CallOutcome mkfifo(CallContext& context, const CallArgs& args) {
  std::string path;
  if (const int32_t status = path_argument(context, args[0], path); status != 0) return {status};
  return {context.names.make_fifo(path, std::make_shared<Pipe>())};
}

CallOutcome open_fifo(CallContext& context, std::shared_ptr<Pipe> pipe, uint32_t flags) {
  const uint32_t access = flags & open_flag::kAccessMask;
  // One end per open: a fifo opened for both would be its own partner.
  if (access != 0 && access != 1) return {kInvalidArgument};
  if (context.files.descriptors.full()) return {kTooManyOpenFiles};
  // The end exists (and counts) from the first attempt, so that two sides find each other
  // whichever comes first.
  context.pending.opening =
      std::make_shared<FifoOpening>(FifoOpening::begin(std::move(pipe), access == 0 ? PipeEnd::Side::read : PipeEnd::Side::write));
  return finish_fifo_open(context);
}

CallOutcome finish_fifo_open(CallContext& context) {
  std::shared_ptr<FifoOpening>& opening = context.pending.opening;
  if (!opening->partnered()) return CallOutcome::waiting(WaitCondition::fifo_partner());
  const int32_t fd = context.files.descriptors.add(std::move(opening->end));
  opening.reset();
  return {fd};
}

CallOutcome dup(CallContext& context, const CallArgs& args) {
  DescriptorTable& table = context.files.descriptors;
  const auto fd = static_cast<int32_t>(args[0]);
  if (table.find(fd) == nullptr) return {kBadDescriptor};
  return {table.add(table.share(fd), 0)};
}

CallOutcome dup2(CallContext& context, const CallArgs& args) {
  DescriptorTable& table = context.files.descriptors;
  const auto fd = static_cast<int32_t>(args[0]);
  const auto target = static_cast<int32_t>(args[1]);
  if (table.find(fd) == nullptr || target < 0 || target >= DescriptorTable::kLimit) return {kBadDescriptor};
  if (fd != target) table.install(target, table.share(fd));
  return {target};
}

CallOutcome fd_set_nonblock(CallContext& context, const CallArgs& args) {
  OpenFile* file = context.files.descriptors.find(static_cast<int32_t>(args[0]));
  if (file == nullptr) return {kBadDescriptor};
  file->nonblocking = args[1] != 0;
  return {0};
}

}  // namespace vornos::kernel::handlers
