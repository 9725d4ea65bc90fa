// The rendezvous of a fifo's opens.
#include "pipes/fifos.h"

namespace vornos::kernel {

FifoOpening FifoOpening::begin(std::shared_ptr<Pipe> pipe, PipeEnd::Side side) {
  const uint64_t partner_opens = side == PipeEnd::Side::read ? pipe->writer_opens : pipe->reader_opens;
  return {std::make_shared<PipeEnd>(std::move(pipe), side), partner_opens};
}

bool FifoOpening::partnered() const {
  const Pipe& pipe = end->pipe();
  if (end->side() == PipeEnd::Side::read) return pipe.writers > 0 || pipe.writer_opens != partner_opens;
  return pipe.readers > 0 || pipe.reader_opens != partner_opens;
}

}  // namespace vornos::kernel
