// Named pipes of one run. FAT cannot store a fifo, so the names live here, in the kernel,
// each under the one key that every spelling of its path resolves to.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "pipes/pipe.h"

namespace vornos::kernel {

class FifoTable {
 public:
  bool contains(const std::string& path) const { return fifos_.contains(path); }
  bool empty() const { return fifos_.empty(); }
  void add(const std::string& path) { fifos_.emplace(path, std::make_shared<Pipe>()); }
  // Forgets the name; ends already open keep their pipe.
  void remove(const std::string& path) { fifos_.erase(path); }
  // The pipe behind the name, or null.
  std::shared_ptr<Pipe> find(const std::string& path) const;

 private:
  std::map<std::string, std::shared_ptr<Pipe>> fifos_;
};

// An open of a fifo in progress. As on Unix an end opened for reading waits for a writer
// and the other way round; the end exists (and counts) from the first attempt, so the two
// sides find each other whichever comes first.
struct FifoOpening {
  std::shared_ptr<PipeEnd> end;
  uint64_t partner_opens = 0;  // the other side's open count when the wait began

  // Starts opening `pipe` on `side`.
  static FifoOpening begin(std::shared_ptr<Pipe> pipe, PipeEnd::Side side);
  // Whether a partner is open now or has been opened since the wait began.
  bool partnered() const;
};

}  // namespace vornos::kernel
