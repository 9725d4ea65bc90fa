// Software breakpoints: int3 written over the code while the program runs, the code restored at
// every stop, so that the debugger's memory reads never see them.
#include "debug/software_breakpoints.h"

namespace vornos::debug {

bool SoftwareBreakpoints::add(DebugTarget& target, uint32_t address) {
  if (original_.contains(address)) return true;
  uint8_t byte = 0;
  if (target.read_memory(address, {&byte, 1}) != 1 || target.write_memory(address, {&byte, 1}) != 1) return false;
  original_[address] = byte;
  return true;
}

bool SoftwareBreakpoints::remove(uint32_t address) { return original_.erase(address) == 1; }

void SoftwareBreakpoints::insert_all(DebugTarget& target) {
  for (auto& [address, original] : original_) {
    // The byte is read again: the debugger may have written the code since the breakpoint was set.
    target.read_memory(address, {&original, 1});
    target.write_memory(address, {&kInt3, 1});
  }
  inserted_ = true;
}

void SoftwareBreakpoints::restore_all(DebugTarget& target) {
  if (!inserted_) return;
  for (const auto& [address, original] : original_) target.write_memory(address, {&original, 1});
  inserted_ = false;
}

}  // namespace vornos::debug
