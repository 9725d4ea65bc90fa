// A program run on an emulated i386 CPU inside the runner, for hosts whose Linux cannot
// execute 32-bit x86 code (or when --platform emulated asks for it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/guest.h"

struct uc_struct;

namespace vornos::kernel {

// The program's address space, page by page, as the emulated CPU and the kernel both see it:
// what is mapped where, with which protections (Linux's PROT_ bits).
class EmulatedGuest final : public Guest {
 public:
  // Loads `image` (a program check_program_image accepted) as Linux's loader would: its
  // PT_LOAD segments at their addresses with their protections, the rest of each segment
  // zero, and a stack holding argc, `argv`, an empty environment and an auxiliary vector.
  // Throws ExecFailure when the image cannot be laid out (a segment over the stack).
  EmulatedGuest(std::span<const std::byte> image, const std::vector<std::string>& argv);
  ~EmulatedGuest() override;
  EmulatedGuest(const EmulatedGuest&) = delete;
  EmulatedGuest& operator=(const EmulatedGuest&) = delete;

  void run_to_trap(int signal = 0) override;
  void answer(int32_t result) override;
  void kill() override;
  std::unique_ptr<GuestMemory> memory() override;
  int32_t linux_call(uint32_t number, const std::array<uint32_t, 6>& args) override;
  bool ready() const override { return ready_; }
  TrapEvent run(uint32_t slice_microseconds) override;

  std::optional<debug::I386Registers> registers() override;
  std::vector<debug::CoreMemory> memory_areas() override;
  bool debuggable() const override { return true; }
  void set_debugged(bool on) override { debugged_ = on; }
  void set_single_step(bool on) override { single_step_ = on; }
  void set_registers(const debug::I386Registers& registers) override;
  size_t debug_read(uint32_t address, std::span<uint8_t> destination) override;
  size_t debug_write(uint32_t address, std::span<const uint8_t> source) override;

  // For tests: run_to_trap, then run.
  TrapEvent next_trap() {
    run_to_trap();
    return run(0);
  }

  // Copies as much as can be read (written) from `address` on, stopping at the first page
  // that is unmapped or lacks the protection; the number of bytes copied.
  size_t read_some(uint32_t address, std::span<std::byte> destination);
  size_t write_some(uint32_t address, std::span<const std::byte> source);

  // Where the stack ends (its first byte above the top) and where mappings without an
  // address are placed from, downwards.
  static constexpr uint32_t kStackEnd = 0xFFFFE000;
  static constexpr uint32_t kStackSize = 8u << 20;
  static constexpr uint32_t kMappingsEnd = 0xF7000000;

 private:
  struct Area {
    uint32_t end;  // first byte past it
    int protection;
  };

  void map(uint32_t start, uint32_t length, int protection);
  void unmap(uint32_t start, uint32_t length);
  void protect(uint32_t start, uint32_t length, int protection);
  void change_range(uint32_t start, uint32_t length,
                    const std::function<std::optional<int>(uint32_t from, uint32_t to)>& change);
  // The area holding `address`, or areas_.end().
  std::map<uint32_t, Area>::const_iterator area_of(uint32_t address) const;
  bool range_free(uint32_t start, uint32_t length) const;
  uint32_t free_range_below(uint32_t end, uint32_t length) const;
  void load(std::span<const std::byte> image);
  uint32_t build_stack(const std::vector<std::string>& argv, uint32_t entry, uint32_t program_headers,
                       uint32_t program_header_count);

  int32_t mmap(uint32_t address, uint32_t length, uint32_t protection, uint32_t flags);
  int32_t mprotect(uint32_t address, uint32_t length, uint32_t protection);
  int32_t munmap(uint32_t address, uint32_t length);

  friend struct EmulatedCpuHooks;

  uc_struct* engine_ = nullptr;
  std::map<uint32_t, Area> areas_;  // by start; page aligned, never overlapping
  bool ready_ = false;
  bool alive_ = true;
  bool debugged_ = false;
  bool single_step_ = false;
  // What stopped the CPU inside run(): a kernel call, a fault (its vector), a bad access.
  enum class Stop { none, call, interrupt };
  Stop stop_ = Stop::none;
  uint32_t vector_ = 0;
  bool have_fault_address_ = false;
  uint32_t fault_address_ = 0;
  uint32_t fault_eip_ = 0;
};

}  // namespace vornos::kernel
