// The volume's clean-shutdown bit, kept in FAT[1] of every FAT copy: cleared before a volume is
// changed and set again once every change is on the disk, so that a crash between leaves it marked
// for checking.
#pragma once

#include <cstdint>
#include <vector>

#include "fat32/volume.h"

namespace vornos::fat32 {

class CleanMark {
 public:
  explicit CleanMark(Volume& volume) : volume_(volume) {}

  // Clears the bit in every copy that has it set, copy by copy, then syncs: the mark must be on the
  // disk before anything it warns about. A copy whose write failed is remembered too (it may hold
  // either state), so that set_again() sets it whatever it holds.
  int32_t clear();
  // Sets the bit again in the copies clear() cleared. Each sector is read again, since FAT writes may
  // have changed it since. No sync: everything the mark vouches for must have been synced before.
  int32_t set_again();
  // Whether clear() cleared the bit in any copy (a volume already marked dirty gets no clean mark).
  bool cleared_any() const { return !cleared_.empty(); }

 private:
  // Reads the sector of FAT[1] of `copy`, sets or clears the bit in it and writes it back unless
  // `only_if_set` finds the bit clear (`changed` then stays false).
  int32_t store_bit(uint32_t copy, bool clean, bool only_if_set, bool& changed);

  Volume& volume_;
  std::vector<uint32_t> cleared_;
};

}  // namespace vornos::fat32
