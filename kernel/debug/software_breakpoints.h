// Software breakpoints: int3 written over the code while the program runs, the code restored at
// every stop, so that the debugger's memory reads never see them.
#pragma once

#include <cstdint>
#include <map>

#include "debug/debug_target.h"

namespace vornos::debug {

class SoftwareBreakpoints {
 public:
  static constexpr uint8_t kInt3 = 0xCC;

  // Records a breakpoint at `address` once its byte proved readable and writable; false otherwise.
  // Adding one that exists again is no error (the debugger re-sends them).
  bool add(DebugTarget& target, uint32_t address);
  // False when there was none.
  bool remove(uint32_t address);
  bool contains(uint32_t address) const { return original_.contains(address); }
  bool empty() const { return original_.empty(); }
  // Forgets every breakpoint (after restore_all).
  void clear() { original_.clear(); }

  // Writes int3 at every breakpoint, keeping the bytes it covers; and puts those bytes back.
  void insert_all(DebugTarget& target);
  void restore_all(DebugTarget& target);
  bool inserted() const { return inserted_; }

 private:
  std::map<uint32_t, uint8_t> original_;
  bool inserted_ = false;
};

}  // namespace vornos::debug
