// The i386 register file a debugger sees: general, segment and flag registers, the x87 and SSE state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vornos::debug {

// Fields in the debugger's register numbering, which is also the order of its `g` packet:
// 0-7 eax..edi, 8 eip, 9 eflags, 10-15 segments, 16-23 st0-st7, 24-31 the x87 control
// registers, 32-39 xmm0-xmm7, 40 mxcsr. Values are little-endian, as the target's.
struct I386Registers {
  uint32_t eax = 0, ecx = 0, edx = 0, ebx = 0, esp = 0, ebp = 0, esi = 0, edi = 0;
  uint32_t eip = 0, eflags = 0;
  uint32_t cs = 0, ss = 0, ds = 0, es = 0, fs = 0, gs = 0;
  std::array<std::array<uint8_t, 10>, 8> st{};
  uint32_t fctrl = 0x37f, fstat = 0, ftag = 0xffff, fiseg = 0, fioff = 0, foseg = 0, fooff = 0, fop = 0;
  std::array<std::array<uint8_t, 16>, 8> xmm{};
  uint32_t mxcsr = 0x1f80;
};
static_assert(offsetof(I386Registers, eip) == 32);
static_assert(offsetof(I386Registers, cs) == 40);
static_assert(offsetof(I386Registers, st) == 64);
static_assert(offsetof(I386Registers, fctrl) == 144);
static_assert(offsetof(I386Registers, xmm) == 176);
static_assert(offsetof(I386Registers, mxcsr) == 304);
static_assert(sizeof(I386Registers) == 308, "the g packet is the record's bytes, without padding");

inline constexpr int kRegisterCount = 41;
inline constexpr int kEipRegister = 8;

// Where register `number` lies in the record, and its size; nothing for an unknown number.
struct RegisterSlot {
  size_t offset;
  size_t size;
};
std::optional<RegisterSlot> register_slot(int number);

// The record's bytes in `g` order, and back.
std::span<const uint8_t> register_bytes(const I386Registers& registers);
std::span<uint8_t> register_bytes(I386Registers& registers);

// The target description the debugger reads (qXfer:features:read:target.xml).
std::string_view i386_target_description();

}  // namespace vornos::debug
