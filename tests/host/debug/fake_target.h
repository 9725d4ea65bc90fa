// A make-believe i386 program for the stub's tests: a few one-byte instructions over flat memory.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "debug/debug_target.h"
#include "debug/debugger_connection.h"

namespace vornos::debug::testing {

// The instructions it knows, at eip: nop; int3 (trap, eip past it); a kernel call (two bytes, the
// call's number in eax, which it answers with the count of calls so far); a call that waits
// (answers kKernelCall without completing until `wait_rounds` have passed); jmp rel8; hlt (exit
// with ebx); and a fault (SIGSEGV, eip stays). Memory is one block at kBase.
class FakeTarget final : public DebugTarget {
 public:
  static constexpr uint32_t kBase = 0x400000;
  static constexpr uint8_t kNop = 0x90, kInt3 = 0xCC, kCall = 0xCD, kWaitingCall = 0xCE, kJump = 0xEB, kHalt = 0xF4,
                           kFault = 0xFF;

  explicit FakeTarget(std::vector<uint8_t> code) : memory_(0x1000, 0) {
    std::memcpy(memory_.data(), code.data(), code.size());
    registers_.eip = kBase;
    registers_.esp = kBase + 0xF00;
  }

  I386Registers read_registers() override { return registers_; }
  void write_registers(const I386Registers& registers) override { registers_ = registers; }
  size_t read_memory(uint32_t address, std::span<uint8_t> destination) override {
    size_t count = 0;
    for (; count < destination.size() && in_range(address + count); ++count) destination[count] = byte(address + count);
    return count;
  }
  size_t write_memory(uint32_t address, std::span<const uint8_t> source) override {
    size_t count = 0;
    for (; count < source.size() && in_range(address + count); ++count) byte(address + count) = source[count];
    return count;
  }

  // Every signal the tests deliver ends the program, as an unhandled one does.
  StopEvent step(int signal) override {
    steps.push_back(registers_.eip);
    return signal != 0 ? StopEvent{StopEvent::Kind::kKilled, signal} : execute(true);
  }
  StopEvent run(int signal) override {
    if (signal != 0) return {StopEvent::Kind::kKilled, signal};
    for (int budget = 0; budget < 10000; ++budget) {
      const StopEvent event = execute(false);
      if (event.kind != StopEvent::Kind::kTrap || last_was_int3_) return event;
    }
    return {StopEvent::Kind::kKernelCall, 0};
  }
  void interrupt() override { ++interrupts; }
  void kill() override { killed = true; }

  uint8_t& byte(uint32_t address) { return memory_[address - kBase]; }
  bool in_range(uint64_t address) const { return address >= kBase && address < kBase + memory_.size(); }

  // What the program did: every kernel call served (the eip of its instruction), the eips of the
  // steps, the interrupts, and the int3s executed where.
  std::vector<uint32_t> calls;
  std::vector<uint32_t> steps;
  std::vector<uint32_t> int3_at;
  int interrupts = 0;
  int wait_rounds = 0;
  bool killed = false;

 private:
  // One instruction; kTrap when it completed (and was no kernel call, unless stepping).
  StopEvent execute(bool stepping) {
    last_was_int3_ = false;
    const uint32_t eip = registers_.eip;
    if (!in_range(eip)) return {StopEvent::Kind::kSignal, SIGSEGV};
    switch (byte(eip)) {
      case kInt3:
        int3_at.push_back(eip);
        registers_.eip = eip + 1;
        last_was_int3_ = true;
        return {StopEvent::Kind::kTrap, 0};
      case kCall:
      case kWaitingCall:
        if (byte(eip) == kWaitingCall && waited_ < wait_rounds) {
          ++waited_;
          return {StopEvent::Kind::kKernelCall, 0};
        }
        waited_ = 0;
        calls.push_back(eip);
        registers_.eax = static_cast<uint32_t>(calls.size());
        registers_.eip = eip + 2;
        return stepping ? StopEvent{StopEvent::Kind::kTrap, 0} : StopEvent{StopEvent::Kind::kKernelCall, 0};
      case kJump:
        registers_.eip = eip + 2 + static_cast<uint32_t>(static_cast<int8_t>(byte(eip + 1)));
        return {StopEvent::Kind::kTrap, 0};
      case kHalt:
        return {StopEvent::Kind::kExited, static_cast<int>(registers_.ebx)};
      case kFault:
        return {StopEvent::Kind::kSignal, SIGSEGV};
      default:
        registers_.eip = eip + 1;
        return {StopEvent::Kind::kTrap, 0};
    }
  }

  std::vector<uint8_t> memory_;
  I386Registers registers_;
  int waited_ = 0;
  bool last_was_int3_ = false;
};

// The debugger's side as a script: chunks of bytes handed out one per receive, and everything
// the stub sent. A chunk may wait until the stub has asked `after_polls` times with no wait
// (as an interrupt typed while the program runs does).
class ScriptedConnection final : public DebuggerConnection {
 public:
  struct Chunk {
    std::string bytes;
    int after_polls = 0;
  };
  void add(std::string bytes, int after_polls = 0) { chunks_.push_back({std::move(bytes), after_polls}); }

  bool send(std::string_view bytes) override {
    sent += bytes;
    return true;
  }
  long receive(std::span<uint8_t> buffer, int timeout_ms) override {
    if (timeout_ms == 0) ++polls;
    if (chunks_.empty()) return timeout_ms == 0 && !gone_when_empty_while_running ? 0 : -1;
    if (timeout_ms == 0 && chunks_.front().after_polls > polls) return 0;
    Chunk& chunk = chunks_.front();
    const size_t count = std::min(buffer.size(), chunk.bytes.size());
    std::memcpy(buffer.data(), chunk.bytes.data(), count);
    chunk.bytes.erase(0, count);
    if (chunk.bytes.empty()) chunks_.pop_front();
    return static_cast<long>(count);
  }

  std::string sent;
  int polls = 0;
  bool gone_when_empty_while_running = false;

 private:
  std::deque<Chunk> chunks_;
};

}  // namespace vornos::debug::testing
