// Following chains once and keeping them until the FAT changes.
#include "fat32/chain_cache.h"

#include "fat32/errors.h"

namespace vornos::fat32 {

void ChainCache::drop_stale() {
  if (generation_ != pool_.generation() || chains_.size() > kMaxChains) {
    chains_.clear();
    generation_ = pool_.generation();
  }
}

int32_t ChainCache::find(uint32_t first, const std::vector<uint32_t>*& chain) {
  drop_stale();
  auto it = chains_.find(first);
  if (it == chains_.end()) {
    std::vector<uint32_t> found;
    if (int32_t rc = volume_.cluster_chain(first, found); rc != kOk) return rc;
    it = chains_.emplace(first, std::move(found)).first;
  }
  chain = &it->second;
  return kOk;
}

int32_t ChainCache::copy(uint32_t first, std::vector<uint32_t>& chain) {
  chain.clear();
  if (first == 0) return kOk;
  const std::vector<uint32_t>* cached = nullptr;
  if (int32_t rc = find(first, cached); rc != kOk) return rc;
  chain = *cached;
  return kOk;
}

int32_t ChainCache::take(uint32_t first, std::vector<uint32_t>& chain) {
  const std::vector<uint32_t>* cached = nullptr;
  if (int32_t rc = find(first, cached); rc != kOk) return rc;
  auto it = chains_.find(first);
  chain = std::move(it->second);
  chains_.erase(it);
  return kOk;
}

void ChainCache::remember(std::vector<uint32_t> chain) {
  if (chain.empty()) return;
  drop_stale();
  const uint32_t first = chain.front();
  chains_[first] = std::move(chain);
}

}  // namespace vornos::fat32
