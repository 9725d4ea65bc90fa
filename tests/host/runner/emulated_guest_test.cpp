// The emulated platform: a program laid out as Linux's loader lays it out, its memory as the
// kernel may touch it, Linux's mapping calls, and the signal each fault ends it with.
#include <elf.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/emulated_guest.h"
#include "platform/remote_call.h"

namespace vornos::kernel {
namespace {

constexpr uint32_t kBase = 0x400000;

// A static executable of one segment at kBase: `code` (executable, read-only) followed by a
// page of zeros that the same segment makes writable when `writable` is set.
std::vector<std::byte> program(std::initializer_list<uint8_t> code, bool writable = false) {
  std::vector<std::byte> image(0x1000 + code.size());
  Elf32_Ehdr header{{ELFMAG0, ELFMAG1, ELFMAG2, ELFMAG3, ELFCLASS32, ELFDATA2LSB}, ET_EXEC, EM_386, EV_CURRENT, kBase,
                    sizeof(Elf32_Ehdr), 0, 0, sizeof(Elf32_Ehdr), sizeof(Elf32_Phdr), 1, 0, 0, 0};
  const Elf32_Phdr segment{PT_LOAD, 0x1000, kBase, kBase, static_cast<Elf32_Word>(code.size()), 0x2000,
                           static_cast<Elf32_Word>(PF_R | PF_X | (writable ? PF_W : 0)), 0x1000};
  std::memcpy(image.data(), &header, sizeof header);
  std::memcpy(image.data() + sizeof header, &segment, sizeof segment);
  std::memcpy(image.data() + 0x1000, std::data(code), code.size());
  return image;
}

std::vector<std::byte> file_bytes(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
  return {reinterpret_cast<const std::byte*>(bytes.data()), reinterpret_cast<const std::byte*>(bytes.data()) + bytes.size()};
}

std::string read_text(GuestMemory& memory, uint32_t address, size_t size) {
  std::string text(size, '\0');
  return memory.read(address, std::as_writable_bytes(std::span(text))) == 0 ? text : "<unreadable>";
}

TEST(EmulatedGuest, RunsTheProgramFromItsEntryWithItsArguments) {
  const std::vector<std::string> argv{VORNOS_TEST_GUEST, "echo", "first", "second"};
  EmulatedGuest guest(file_bytes(VORNOS_TEST_GUEST), argv);
  auto memory = guest.memory();
  for (const std::string expected : {"first", "\n", "second", "\n"}) {
    const TrapEvent trap = guest.next_trap();
    ASSERT_EQ(trap.kind, TrapEvent::Kind::call);
    EXPECT_EQ(trap.call.number, 1u);  // write(1, text, length)
    EXPECT_EQ(trap.call.args[0], 1u);
    EXPECT_EQ(read_text(*memory, trap.call.args[1], trap.call.args[2]), expected);
    guest.answer(static_cast<int32_t>(trap.call.args[2]));
  }
  const TrapEvent read = guest.next_trap();  // then it copies its input: read(0, buffer, 7)
  EXPECT_EQ(read.call.number, 3u);
  guest.answer(0);
  const TrapEvent exit = guest.next_trap();
  EXPECT_EQ(exit.call.number, 2u);
  EXPECT_EQ(exit.call.args[0], 0u);
}

TEST(EmulatedGuest, MemoryEndsWhereThePagesEndOrRefuse) {
  // nop; int 0x80: the program stops at its first call with everything laid out.
  EmulatedGuest guest(program({0x90, 0xCD, 0x80}, false), {"p"});
  ASSERT_EQ(guest.next_trap().kind, TrapEvent::Kind::call);
  std::array<std::byte, 0x3000> buffer{};
  const struct {
    uint32_t address;
    size_t size;
    size_t readable;
    size_t writable;
  } rows[] = {
      {kBase, 16, 16, 0},                     // the code: read-only to the kernel as to the program
      {kBase + 0x1ff8, 16, 8, 0},             // the segment's last bytes, then nothing
      {0x1000, 4, 0, 0},                      // never mapped
      {0xFFFFFFF0, 0x20, 0, 0},               // past the top of the space
      {EmulatedGuest::kStackEnd - 8, 8, 8, 8}, // the top of the stack
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.address);
    EXPECT_EQ(guest.read_some(row.address, std::span(buffer).first(row.size)), row.readable);
    EXPECT_EQ(guest.write_some(row.address, std::span(buffer).first(row.size)), row.writable);
  }
}

TEST(EmulatedGuest, MappingCallsAnswerAsLinuxDoes) {
  EmulatedGuest guest(program({0xCD, 0x80}), {"p"});
  ASSERT_EQ(guest.next_trap().kind, TrapEvent::Kind::call);
  const uint32_t anonymous = MAP_PRIVATE | MAP_ANONYMOUS;
  const auto call = [&](uint32_t number, uint32_t a, uint32_t b, uint32_t c = 0, uint32_t d = 0) {
    return guest.linux_call(number, {a, b, c, d, 0xFFFFFFFF, 0});
  };
  const int32_t placed = call(linux_i386::mmap2, 0, 0x3000, PROT_READ | PROT_WRITE, anonymous);
  const auto at = static_cast<uint32_t>(placed);
  EXPECT_TRUE(at >= 0x10000 && at + 0x3000 <= EmulatedGuest::kMappingsEnd && at % 4096 == 0) << std::hex << at;
  std::array<std::byte, 0x3000> zeros{};
  EXPECT_EQ(guest.write_some(at, zeros), zeros.size());
  // A free address asked for is taken; a taken one is not, unless fixed.
  EXPECT_EQ(call(linux_i386::mmap2, 0x50000000, 100, PROT_READ, anonymous), 0x50000000);
  EXPECT_NE(call(linux_i386::mmap2, at, 4096, PROT_READ, anonymous), placed);
  EXPECT_EQ(call(linux_i386::mmap2, at + 0x1000, 4096, PROT_READ, anonymous | MAP_FIXED), placed + 0x1000);
  EXPECT_EQ(guest.write_some(at, zeros), 0x1000u);  // the fixed page replaced the middle one, read-only
  const struct {
    uint32_t number, a, b, c, d;
    int32_t result;
  } refusals[] = {
      {linux_i386::mmap2, 0, 0, PROT_READ, anonymous, -EINVAL},                         // nothing to map
      {linux_i386::mmap2, 0x50000001, 4096, PROT_READ, anonymous | MAP_FIXED, -EINVAL}, // unaligned
      {linux_i386::mmap2, 0x1000, 4096, PROT_READ, anonymous | MAP_FIXED, -ENOMEM},     // below 64 KiB
      {linux_i386::mprotect, 0x60000000, 4096, PROT_READ, 0, -ENOMEM},                  // nothing there
      {linux_i386::mprotect, at + 1, 4096, PROT_READ, 0, -EINVAL},
      {linux_i386::munmap, at + 1, 4096, 0, 0, -EINVAL},
      {linux_i386::munmap, at, 0, 0, 0, -EINVAL},
      {linux_i386::munmap, 0x60000000, 4096, 0, 0, 0},  // unmapping nothing is no error
      {4, 0, 0, 0, 0, -ENOSYS},
  };
  for (const auto& row : refusals) {
    EXPECT_EQ(call(row.number, row.a, row.b, row.c, row.d), row.result) << row.number << " " << std::hex << row.a;
  }
  EXPECT_EQ(call(linux_i386::mprotect, at, 0x3000, PROT_NONE), 0);
  EXPECT_EQ(guest.read_some(at, zeros), 0u);
  EXPECT_EQ(call(linux_i386::mprotect, at + 0x2000, 0x1000, PROT_READ | PROT_WRITE), 0);
  EXPECT_EQ(guest.write_some(at + 0x2000, std::span(zeros).first(0x1000)), 0x1000u);
  EXPECT_EQ(call(linux_i386::munmap, at, 0x3000), 0);
  EXPECT_EQ(guest.read_some(at + 0x2000, zeros), 0u);
  EXPECT_EQ(call(linux_i386::mmap2, at, 0x3000, PROT_READ, anonymous), placed);  // free again
}

TEST(EmulatedGuest, FaultsEndTheProgramWithLinuxsSignalAndWhere) {
  const struct {
    const char* what;
    std::vector<std::byte> image;
    int signal;
    uint32_t eip;
    std::optional<uint32_t> fault_address;
  } rows[] = {
      {"load from an unmapped page", program({0xA1, 0x00, 0x10, 0x00, 0x00}), SIGSEGV, kBase, 0x1000},
      {"store into the code", program({0xA3, 0x00, 0x00, 0x40, 0x00}), SIGSEGV, kBase, kBase},
      {"jump to 0", program({0x31, 0xC0, 0xFF, 0xE0}), SIGSEGV, 0, std::nullopt},
      {"ud2", program({0x90, 0x0F, 0x0B}), SIGILL, kBase + 1, std::nullopt},
      {"divide by zero", program({0x31, 0xC9, 0xF7, 0xF1}), SIGFPE, kBase + 2, std::nullopt},
      {"int3", program({0xCC}), SIGTRAP, kBase + 1, std::nullopt},
      {"hlt", program({0x90, 0xF4}), SIGSEGV, kBase + 1, std::nullopt},
      // nop; inc eax; mov eax, [0x1000]: three instructions the CPU runs as one block; the fault is the third's.
      {"a load inside a block", program({0x90, 0x40, 0xA1, 0x00, 0x10, 0x00, 0x00}), SIGSEGV, kBase + 2, 0x1000},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EmulatedGuest guest(row.image, {"p"});
    const TrapEvent event = guest.next_trap();
    ASSERT_EQ(event.kind, TrapEvent::Kind::killed);
    EXPECT_EQ(event.signal, row.signal);
    EXPECT_TRUE(event.have_eip);
    EXPECT_EQ(event.eip, row.eip) << std::hex << event.eip;
    EXPECT_EQ(guest.registers()->eip, row.eip) << "the registers a crash report reads";
    EXPECT_EQ(event.have_fault_address, row.fault_address.has_value());
    if (row.fault_address) {
      EXPECT_EQ(event.fault_address, *row.fault_address);
    }
    EXPECT_FALSE(guest.ready());
  }
}

TEST(EmulatedGuest, AProgramThatMakesNoCallGivesUpItsSlice) {
  EmulatedGuest guest(program({0xEB, 0xFE}), {"spin"});  // jmp .
  guest.run_to_trap();
  const TrapEvent event = guest.run(2000);
  EXPECT_EQ(event.kind, TrapEvent::Kind::preempted);
  EXPECT_TRUE(guest.ready());
  guest.kill();
  EXPECT_FALSE(guest.ready());
  EXPECT_EQ(guest.run(0).signal, SIGKILL);
}

// Under the debugger: faults and int3 stop the program without ending it, single steps, the
// registers and the code written as a debugger writes them.
TEST(EmulatedGuest, UnderTheDebuggerStopsInsteadOfEndingAndSteps) {
  // nop; mov eax, [0x1000]; mov eax, 0x12345678; int 0x80
  EmulatedGuest guest(program({0x90, 0xA1, 0x00, 0x10, 0x00, 0x00, 0xB8, 0x78, 0x56, 0x34, 0x12, 0xCD, 0x80}), {"p"});
  guest.set_debugged(true);
  TrapEvent event = guest.next_trap();
  ASSERT_EQ(event.kind, TrapEvent::Kind::stopped);
  EXPECT_EQ(event.signal, SIGSEGV);
  EXPECT_EQ(event.eip, kBase + 1);
  EXPECT_EQ(event.fault_address, 0x1000u);
  // The debugger moves it past the load; one step, then the call.
  debug::I386Registers registers = *guest.registers();
  registers.eip = kBase + 6;
  guest.set_registers(registers);
  guest.set_single_step(true);
  event = guest.next_trap();
  ASSERT_EQ(event.kind, TrapEvent::Kind::stopped);
  EXPECT_EQ(event.signal, SIGTRAP);
  EXPECT_EQ(guest.registers()->eip, kBase + 11);
  EXPECT_EQ(guest.registers()->eax, 0x12345678u);
  event = guest.next_trap();
  ASSERT_EQ(event.kind, TrapEvent::Kind::call) << "a step onto int 0x80 is the call";
  EXPECT_EQ(event.call.number, 0x12345678u);
  EXPECT_EQ(guest.registers()->eip, kBase + 13);

  // An int3 written over the read-only code (the kernel's own writes still may not) stops it
  // past the int3, alive.
  EmulatedGuest patched(program({0x90, 0x90, 0x90, 0xF4}), {"p"});
  patched.set_debugged(true);
  const uint8_t int3 = 0xCC;
  EXPECT_EQ(patched.debug_write(kBase + 1, {&int3, 1}), 1u);
  EXPECT_EQ(patched.memory()->write(kBase + 1, std::as_bytes(std::span(&int3, 1))), -14);
  uint8_t seen = 0;
  EXPECT_EQ(patched.debug_read(kBase + 1, {&seen, 1}), 1u);
  EXPECT_EQ(seen, 0xCC);
  event = patched.next_trap();
  ASSERT_EQ(event.kind, TrapEvent::Kind::stopped);
  EXPECT_EQ(event.signal, SIGTRAP);
  EXPECT_EQ(event.eip, kBase + 2);
  const uint8_t nop = 0x90;
  patched.debug_write(kBase + 1, {&nop, 1});
  patched.set_debugged(false);
  event = patched.next_trap();
  EXPECT_EQ(event.kind, TrapEvent::Kind::killed) << "without the debugger the hlt ends it";
  EXPECT_EQ(event.eip, kBase + 3);
  EXPECT_FALSE(patched.memory_areas().empty());
}

}  // namespace
}  // namespace vornos::kernel
