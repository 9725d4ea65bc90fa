// The open of a fifo: as on Unix, an end opened for reading waits for a writer and the other
// way round.
#pragma once

#include <cstdint>
#include <memory>

#include "pipes/pipe.h"

namespace vornos::kernel {

// An open of a fifo in progress. The end exists (and counts) from the first attempt, so the
// two sides find each other whichever comes first.
struct FifoOpening {
  std::shared_ptr<PipeEnd> end;
  uint64_t partner_opens = 0;  // the other side's open count when the wait began

  // Starts opening `pipe` on `side`.
  static FifoOpening begin(std::shared_ptr<Pipe> pipe, PipeEnd::Side side);
  // Whether a partner is open now or has been opened since the wait began.
  bool partnered() const;
};

}  // namespace vornos::kernel
