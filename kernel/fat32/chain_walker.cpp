// Following a chain link by link.
#include "fat32/chain_walker.h"

#include <string>

#include "fat32/errors.h"

namespace vornos::fat32 {

int32_t ChainWalker::advance(bool& at_end) {
  uint32_t next = 0;
  if (int32_t rc = volume_.next_cluster(cluster_, next, at_end); rc != kOk) return rc;
  if (at_end) return kOk;
  // A chain has at most as many clusters as the volume: one more, and some cluster came twice.
  if (count_ >= volume_.geometry().cluster_count) {
    return volume_.report_inconsistency("the chain from cluster " + std::to_string(first_) + " loops");
  }
  ++count_;
  cluster_ = next;
  return kOk;
}

}  // namespace vornos::fat32
