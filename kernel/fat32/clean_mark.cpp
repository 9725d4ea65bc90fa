// Clearing and setting the clean-shutdown bit of FAT[1] in every FAT copy.
#include "fat32/clean_mark.h"

#include "fat32/errors.h"
#include "fat32/fat_table.h"
#include "fat32/le.h"

namespace vornos::fat32 {

namespace {

constexpr size_t kStateOffset = 4;  // FAT[1], the volume state, in the first sector of each FAT copy

uint64_t state_sector(const Geometry& g, uint32_t copy) { return g.fat_offset(copy) / g.bytes_per_sector; }

}  // namespace

int32_t CleanMark::store_bit(uint32_t copy, bool clean, bool only_if_set, bool& changed) {
  changed = false;
  const uint64_t sector = state_sector(volume_.geometry(), copy);
  std::vector<uint8_t> bytes;
  if (int32_t rc = volume_.read_sector(sector, bytes); rc != kOk) return rc;
  const uint32_t state = load_le32(&bytes[kStateOffset]);
  if (only_if_set && (state & kFatCleanShutdown) == 0) return kOk;
  store_le32(&bytes[kStateOffset], clean ? state | kFatCleanShutdown : state & ~kFatCleanShutdown);
  changed = true;
  return volume_.write_sector(sector, bytes);
}

int32_t CleanMark::clear() {
  int32_t rc = kOk;
  for (uint32_t copy = 0; copy < volume_.geometry().fat_count && rc == kOk; ++copy) {
    bool changed = false;
    rc = store_bit(copy, false, true, changed);
    if (changed) cleared_.push_back(copy);
  }
  if (rc == kOk) rc = volume_.sync();
  return rc;
}

int32_t CleanMark::set_again() {
  for (uint32_t copy : cleared_) {
    bool changed = false;
    if (int32_t rc = store_bit(copy, true, false, changed); rc != kOk) return rc;
  }
  return kOk;
}

}  // namespace vornos::fat32
