// The emulated platform: an i386 CPU (Unicorn) in the runner, stopped at every int 0x80.
#include "platform/emulated_guest.h"

#include <elf.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <time.h>
#include <unicorn/unicorn.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/host_failure.h"
#include "platform/remote_call.h"
#include "platform/stop.h"
#include "vornos/abi/limits.h"

namespace vornos::kernel {
namespace {

constexpr uint32_t kPage = abi::kPageSize;
// Linux keeps the lowest 64 KiB of a program's space unmapped (vm.mmap_min_addr).
constexpr uint32_t kLowestMapping = 0x10000;
constexpr uint32_t kKernelCallVector = 0x80;

uint32_t page_down(uint32_t address) { return address & ~(kPage - 1); }
uint64_t page_up(uint64_t address) { return (address + kPage - 1) & ~uint64_t{kPage - 1}; }

// x86 pages cannot be writable or executable without being readable: neither can these.
uint32_t cpu_protection(int protection) {
  if (protection == PROT_NONE) return UC_PROT_NONE;
  uint32_t granted = UC_PROT_READ;
  if (protection & PROT_WRITE) granted |= UC_PROT_WRITE;
  if (protection & PROT_EXEC) granted |= UC_PROT_EXEC;
  return granted;
}

void check(uc_err error, const char* operation) {
  if (error != UC_ERR_OK) throw HostFailure(std::string(operation) + ": " + uc_strerror(error), EIO);
}

// The engine running now, for the signal handlers that end its run early: a stop from
// outside (Ctrl-C, the timeout) or the end of a slice.
std::atomic<uc_engine*> g_running{nullptr};
std::atomic<bool> g_slice_over{false};

void stop_running_engine() {
  if (uc_engine* engine = g_running.load()) uc_emu_stop(engine);
}

void on_slice_end(int) {
  g_slice_over.store(true);
  stop_running_engine();
}

// One timer for the slices of every program: a program that makes no call gives the others
// their turn when it runs out.
class SliceTimer {
 public:
  static SliceTimer& get() {
    static SliceTimer timer;
    return timer;
  }
  void arm(uint32_t microseconds) {
    g_slice_over.store(false);
    if (!ok_) return;
    itimerspec when{};
    when.it_value.tv_sec = microseconds / 1000000;
    when.it_value.tv_nsec = static_cast<long>(microseconds % 1000000) * 1000;
    timer_settime(timer_, 0, &when, nullptr);
  }
  void disarm() {
    if (!ok_) return;
    itimerspec never{};
    timer_settime(timer_, 0, &never, nullptr);
  }

 private:
  SliceTimer() {
    const int signal = SIGRTMIN + 1;
    struct sigaction action {};
    action.sa_handler = on_slice_end;
    action.sa_flags = SA_RESTART;
    sigfillset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigevent event{};
    event.sigev_notify = SIGEV_SIGNAL;
    event.sigev_signo = signal;
    ok_ = timer_create(CLOCK_MONOTONIC, &event, &timer_) == 0;
  }
  timer_t timer_{};
  bool ok_ = false;
};

// The signal Linux sends a 32-bit program for CPU exception `vector`.
int signal_for_vector(uint32_t vector) {
  switch (vector) {
    case 0: case 7: case 16: case 19: return SIGFPE;  // divide error, no FPU, x87 and SIMD errors
    case 1: case 3: return SIGTRAP;                     // debug, breakpoint
    case 6: return SIGILL;                              // invalid opcode
    case 11: case 12: case 17: return SIGBUS;           // segment not present, stack fault, alignment
    default: return SIGSEGV;                            // general protection, page fault, int N
  }
}

int signal_for_error(uc_err error) {
  switch (error) {
    case UC_ERR_INSN_INVALID: return SIGILL;
    case UC_ERR_READ_UNALIGNED: case UC_ERR_WRITE_UNALIGNED: case UC_ERR_FETCH_UNALIGNED: return SIGBUS;
    default: return SIGSEGV;
  }
}

class EmulatedMemory final : public GuestMemory {
 public:
  explicit EmulatedMemory(EmulatedGuest& guest) : guest_(guest) {}
  size_t read_some(uint32_t address, std::span<std::byte> destination) override {
    return guest_.read_some(address, destination);
  }
  size_t write_some(uint32_t address, std::span<const std::byte> source) override {
    return guest_.write_some(address, source);
  }

 private:
  EmulatedGuest& guest_;
};

}  // namespace

// The CPU's callbacks: an interrupt (int 0x80 or a fault) and an access to a page that is
// not mapped or not permitted end the run of the moment.
struct EmulatedCpuHooks {
  static void on_interrupt(uc_engine* engine, uint32_t vector, void* data) {
    auto* guest = static_cast<EmulatedGuest*>(data);
    guest->stop_ = vector == kKernelCallVector ? EmulatedGuest::Stop::call : EmulatedGuest::Stop::interrupt;
    guest->vector_ = vector;
    uc_emu_stop(engine);
  }
  // sysenter and syscall: this CPU has no other way into the kernel than int 0x80, so the
  // program ends as on a CPU that does not know them (SIGILL).
  static void on_other_entry(uc_engine* engine, void* data) {
    auto* guest = static_cast<EmulatedGuest*>(data);
    guest->stop_ = EmulatedGuest::Stop::interrupt;
    guest->vector_ = 6;
    uc_emu_stop(engine);
  }
  static void on_never_called(uc_engine*, uc_mem_type, uint64_t, int, int64_t, void*) {}
  static bool on_bad_access(uc_engine* engine, uc_mem_type, uint64_t address, int, int64_t, void* data) {
    auto* guest = static_cast<EmulatedGuest*>(data);
    guest->have_fault_address_ = true;
    guest->fault_address_ = static_cast<uint32_t>(address);
    // Here eip is the faulting instruction's (see the access hook below); once the run has
    // ended the CPU shows the start of the block of code it was running instead.
    uc_reg_read(engine, UC_X86_REG_EIP, &guest->fault_eip_);
    return false;
  }
};

EmulatedGuest::EmulatedGuest(std::span<const std::byte> image, const std::vector<std::string>& argv) {
  check(uc_open(UC_ARCH_X86, UC_MODE_32, &engine_), "uc_open");
  set_stop_hook(stop_running_engine);
  try {
    uc_hook hook;
    check(uc_hook_add(engine_, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(EmulatedCpuHooks::on_interrupt), this, 1, 0),
          "uc_hook_add");
    check(uc_hook_add(engine_, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(EmulatedCpuHooks::on_bad_access), this,
                      1, 0),
          "uc_hook_add");
    // The CPU keeps eip exact at a memory access only while some hook watches accesses; without
    // one, a fault shows the start of the block of code that was running, not the instruction,
    // and the crash report and the debugger would point at the wrong line. This one watches the
    // last byte of the address space alone, which no program touches, so it is never called.
    check(uc_hook_add(engine_, &hook, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE,
                      reinterpret_cast<void*>(EmulatedCpuHooks::on_never_called), this, 0xFFFFFFFF, 0xFFFFFFFF),
          "uc_hook_add");
    for (int instruction : {UC_X86_INS_SYSENTER, UC_X86_INS_SYSCALL}) {
      check(uc_hook_add(engine_, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(EmulatedCpuHooks::on_other_entry), this, 1, 0,
                        instruction),
            "uc_hook_add");
    }
    load(image);
    Elf32_Ehdr header;
    std::memcpy(&header, image.data(), sizeof header);
    const uint32_t esp = build_stack(argv, header.e_entry, header.e_phoff, header.e_phnum);
    const uint32_t zero = 0;
    for (int reg : {UC_X86_REG_EAX, UC_X86_REG_EBX, UC_X86_REG_ECX, UC_X86_REG_EDX, UC_X86_REG_ESI, UC_X86_REG_EDI,
                    UC_X86_REG_EBP}) {
      uc_reg_write(engine_, reg, &zero);
    }
    uc_reg_write(engine_, UC_X86_REG_ESP, &esp);
    uc_reg_write(engine_, UC_X86_REG_EIP, &header.e_entry);
  } catch (...) {
    uc_close(engine_);
    throw;
  }
}

EmulatedGuest::~EmulatedGuest() {
  if (g_running.load() == engine_) g_running.store(nullptr);
  uc_close(engine_);
}

void EmulatedGuest::load(std::span<const std::byte> image) {
  Elf32_Ehdr header;
  std::memcpy(&header, image.data(), sizeof header);
  // Each page gets the protections of every segment that touches it, so that segments
  // sharing a page all work as they do under Linux's loader.
  std::map<uint32_t, int> pages;
  std::vector<Elf32_Phdr> segments;
  for (unsigned index = 0; index < header.e_phnum; ++index) {
    Elf32_Phdr segment;
    std::memcpy(&segment, image.data() + header.e_phoff + index * sizeof segment, sizeof segment);
    if (segment.p_type != PT_LOAD || segment.p_memsz == 0) continue;
    segments.push_back(segment);
    const int protection = ((segment.p_flags & PF_R) ? PROT_READ : 0) | ((segment.p_flags & PF_W) ? PROT_WRITE : 0) |
                           ((segment.p_flags & PF_X) ? PROT_EXEC : 0);
    for (uint64_t page = page_down(segment.p_vaddr); page < uint64_t{segment.p_vaddr} + segment.p_memsz; page += kPage) {
      pages[static_cast<uint32_t>(page)] |= protection;
    }
  }
  for (const Elf32_Phdr& segment : segments) {
    if (uint64_t{segment.p_vaddr} + segment.p_memsz <= kStackEnd - kStackSize) continue;
    char reason[96];
    std::snprintf(reason, sizeof reason, "its segment at %#x..%#llx overlaps the stack at %#x..%#x", segment.p_vaddr,
                  static_cast<unsigned long long>(uint64_t{segment.p_vaddr} + segment.p_memsz), kStackEnd - kStackSize,
                  kStackEnd);
    throw ExecFailure(reason);
  }
  // Runs of pages with the same protections become one mapping.
  for (auto page = pages.begin(); page != pages.end();) {
    auto last = page;
    while (std::next(last) != pages.end() && std::next(last)->first == last->first + kPage &&
           std::next(last)->second == page->second) {
      ++last;
    }
    map(page->first, last->first + kPage - page->first, page->second);
    page = std::next(last);
  }
  for (const Elf32_Phdr& segment : segments) {
    if (segment.p_filesz == 0) continue;
    check(uc_mem_write(engine_, segment.p_vaddr, image.data() + segment.p_offset, segment.p_filesz), "uc_mem_write");
  }
}

uint32_t EmulatedGuest::build_stack(const std::vector<std::string>& argv, uint32_t entry, uint32_t program_headers,
                                    uint32_t program_header_count) {
  const uint32_t stack_start = kStackEnd - kStackSize;
  map(stack_start, kStackSize, PROT_READ | PROT_WRITE);
  // The strings at the top, as Linux puts them, then 16 random bytes for AT_RANDOM.
  uint32_t top = kStackEnd - 16;
  std::vector<uint32_t> pointers;
  for (const std::string& argument : argv) {
    top -= static_cast<uint32_t>(argument.size() + 1);
    check(uc_mem_write(engine_, top, argument.c_str(), argument.size() + 1), "uc_mem_write");
    pointers.push_back(top);
  }
  top = (top - 16) & ~15u;
  const uint32_t random_bytes = top;
  uint8_t random[16];
  if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) std::memset(random, 0x5a, sizeof random);
  check(uc_mem_write(engine_, random_bytes, random, sizeof random), "uc_mem_write");

  std::vector<uint32_t> words;
  words.push_back(static_cast<uint32_t>(argv.size()));
  words.insert(words.end(), pointers.begin(), pointers.end());
  words.push_back(0);  // end of argv
  words.push_back(0);  // an empty environment
  const uint32_t load_base = areas_.empty() ? 0 : areas_.begin()->first;
  for (const auto& pair : std::initializer_list<std::array<uint32_t, 2>>{{AT_PHDR, load_base + program_headers},
                           {AT_PHENT, sizeof(Elf32_Phdr)}, {AT_PHNUM, program_header_count}, {AT_PAGESZ, kPage},
                           {AT_ENTRY, entry}, {AT_UID, 0}, {AT_EUID, 0}, {AT_GID, 0}, {AT_EGID, 0},
                           {AT_RANDOM, random_bytes}, {AT_NULL, 0}}) {
    words.push_back(pair[0]);
    words.push_back(pair[1]);
  }
  const uint32_t esp = (top - static_cast<uint32_t>(words.size() * 4)) & ~15u;
  check(uc_mem_write(engine_, esp, words.data(), words.size() * 4), "uc_mem_write");
  return esp;
}

void EmulatedGuest::map(uint32_t start, uint32_t length, int protection) {
  check(uc_mem_map(engine_, start, length, cpu_protection(protection)), "uc_mem_map");
  areas_[start] = Area{start + length, protection};
}

std::map<uint32_t, EmulatedGuest::Area>::const_iterator EmulatedGuest::area_of(uint32_t address) const {
  auto after = areas_.upper_bound(address);
  if (after == areas_.begin()) return areas_.end();
  auto area = std::prev(after);
  return address < area->second.end ? area : areas_.end();
}

// The areas that overlap start..start+length are cut at its edges; `change` does what is asked of
// each overlapping piece [from, to) and answers the protection it has now, or nullopt when it is no
// longer mapped.
void EmulatedGuest::change_range(uint32_t start, uint32_t length,
                                 const std::function<std::optional<int>(uint32_t from, uint32_t to)>& change) {
  const uint64_t end = uint64_t{start} + length;
  std::vector<std::pair<uint32_t, Area>> pieces;
  for (auto area = areas_.begin(); area != areas_.end();) {
    const uint32_t area_start = area->first;
    const Area whole = area->second;
    if (whole.end <= start || area_start >= end) {
      ++area;
      continue;
    }
    const uint32_t cut_start = std::max(area_start, start);
    const uint32_t cut_end = static_cast<uint32_t>(std::min<uint64_t>(whole.end, end));
    const std::optional<int> changed = change(cut_start, cut_end);
    area = areas_.erase(area);
    if (area_start < cut_start) pieces.push_back({area_start, Area{cut_start, whole.protection}});
    if (changed) pieces.push_back({cut_start, Area{cut_end, *changed}});
    if (cut_end < whole.end) pieces.push_back({cut_end, Area{whole.end, whole.protection}});
  }
  for (const auto& [area_start, area] : pieces) areas_[area_start] = area;
}

void EmulatedGuest::unmap(uint32_t start, uint32_t length) {
  change_range(start, length, [this](uint32_t from, uint32_t to) -> std::optional<int> {
    check(uc_mem_unmap(engine_, from, to - from), "uc_mem_unmap");
    return std::nullopt;
  });
}

void EmulatedGuest::protect(uint32_t start, uint32_t length, int protection) {
  change_range(start, length, [this, protection](uint32_t from, uint32_t to) -> std::optional<int> {
    check(uc_mem_protect(engine_, from, to - from, cpu_protection(protection)), "uc_mem_protect");
    return protection;
  });
}

bool EmulatedGuest::range_free(uint32_t start, uint32_t length) const {
  const uint64_t end = uint64_t{start} + length;
  if (start < kLowestMapping || end > kStackEnd) return false;
  auto after = areas_.lower_bound(start);
  if (after != areas_.end() && after->first < end) return false;
  if (after != areas_.begin() && std::prev(after)->second.end > start) return false;
  return true;
}

uint32_t EmulatedGuest::free_range_below(uint32_t end, uint32_t length) const {
  uint32_t top = end;
  for (auto area = areas_.rbegin(); area != areas_.rend(); ++area) {
    if (area->first >= top) continue;
    if (area->second.end <= top && top - area->second.end >= length) return top - length;
    top = std::min(top, area->first);
  }
  return top >= kLowestMapping + length ? top - length : 0;
}

int32_t EmulatedGuest::mmap(uint32_t address, uint32_t length, uint32_t protection, uint32_t flags) {
  if (length == 0) return -EINVAL;
  const uint64_t rounded = page_up(length);
  if (rounded > kStackEnd) return -ENOMEM;
  const auto size = static_cast<uint32_t>(rounded);
  uint32_t start = 0;
  if (flags & MAP_FIXED) {
    if (address % kPage != 0) return -EINVAL;
    if (address < kLowestMapping || uint64_t{address} + size > kStackEnd) return -ENOMEM;
    unmap(address, size);
    start = address;
  } else if (address % kPage == 0 && range_free(address, size)) {
    start = address;
  } else if ((start = free_range_below(kMappingsEnd, size)) == 0) {
    return -ENOMEM;
  }
  map(start, size, static_cast<int>(protection));
  return static_cast<int32_t>(start);
}

int32_t EmulatedGuest::mprotect(uint32_t address, uint32_t length, uint32_t protection) {
  if (address % kPage != 0) return -EINVAL;
  const uint64_t end = page_up(uint64_t{address} + length);
  // Every page of the range must be mapped.
  for (uint64_t at = address; at < end;) {
    auto area = area_of(static_cast<uint32_t>(at));
    if (area == areas_.end()) return -ENOMEM;
    at = area->second.end;
  }
  if (end > address) protect(address, static_cast<uint32_t>(end - address), static_cast<int>(protection));
  return 0;
}

int32_t EmulatedGuest::munmap(uint32_t address, uint32_t length) {
  if (address % kPage != 0 || length == 0) return -EINVAL;
  const uint64_t end = std::min<uint64_t>(page_up(uint64_t{address} + length), kStackEnd);
  if (end > address) unmap(address, static_cast<uint32_t>(end - address));
  return 0;
}

int32_t EmulatedGuest::linux_call(uint32_t number, const std::array<uint32_t, 6>& args) {
  switch (number) {
    case linux_i386::mmap2: return mmap(args[0], args[1], args[2], args[3]);
    case linux_i386::mprotect: return mprotect(args[0], args[1], args[2]);
    case linux_i386::munmap: return munmap(args[0], args[1]);
    default: return -ENOSYS;
  }
}

size_t EmulatedGuest::read_some(uint32_t address, std::span<std::byte> destination) {
  size_t done = 0;
  while (done < destination.size()) {
    const uint32_t at = address + static_cast<uint32_t>(done);
    if (at < address) break;  // past the end of the 32-bit space
    auto area = area_of(at);
    if (area == areas_.end() || area->second.protection == PROT_NONE) break;
    const size_t piece = std::min<size_t>(destination.size() - done, area->second.end - at);
    if (uc_mem_read(engine_, at, destination.data() + done, piece) != UC_ERR_OK) break;
    done += piece;
  }
  return done;
}

size_t EmulatedGuest::write_some(uint32_t address, std::span<const std::byte> source) {
  size_t done = 0;
  while (done < source.size()) {
    const uint32_t at = address + static_cast<uint32_t>(done);
    if (at < address) break;
    auto area = area_of(at);
    if (area == areas_.end() || (area->second.protection & PROT_WRITE) == 0) break;
    const size_t piece = std::min<size_t>(source.size() - done, area->second.end - at);
    if (uc_mem_write(engine_, at, source.data() + done, piece) != UC_ERR_OK) break;
    done += piece;
  }
  return done;
}

std::unique_ptr<GuestMemory> EmulatedGuest::memory() { return std::make_unique<EmulatedMemory>(*this); }

void EmulatedGuest::run_to_trap(int) { ready_ = alive_; }

void EmulatedGuest::answer(int32_t result) { uc_reg_write(engine_, UC_X86_REG_EAX, &result); }

void EmulatedGuest::kill() {
  alive_ = false;
  ready_ = false;
}

TrapEvent EmulatedGuest::run(uint32_t slice_microseconds) {
  ready_ = false;
  TrapEvent event;
  event.kind = TrapEvent::Kind::killed;
  event.signal = SIGKILL;
  if (!alive_) return event;
  stop_ = Stop::none;
  have_fault_address_ = false;
  uint32_t eip = 0;
  uc_reg_read(engine_, UC_X86_REG_EIP, &eip);

  g_running.store(engine_);
  // A stop that came before the engine was published would find nothing to end.
  if (stop_signal() != 0) {
    g_running.store(nullptr);
    alive_ = false;
    return event;
  }
  const uint32_t started_at = eip;
  // A slice that ended an earlier run must not make this one's normal end look like its own.
  g_slice_over.store(false);
  if (slice_microseconds != 0) SliceTimer::get().arm(slice_microseconds);
  const uc_err error = uc_emu_start(engine_, eip, 0, 0, single_step_ ? 1 : 0);
  if (slice_microseconds != 0) SliceTimer::get().disarm();
  g_running.store(nullptr);

  uc_reg_read(engine_, UC_X86_REG_EIP, &eip);
  if (stop_ == Stop::call) {
    event.kind = TrapEvent::Kind::call;
    event.signal = 0;
    uint32_t number = 0;
    uc_reg_read(engine_, UC_X86_REG_EAX, &number);
    event.call.number = number;
    const int argument_registers[] = {UC_X86_REG_EBX, UC_X86_REG_ECX, UC_X86_REG_EDX,
                                      UC_X86_REG_ESI, UC_X86_REG_EDI, UC_X86_REG_EBP};
    for (size_t index = 0; index < 6; ++index) uc_reg_read(engine_, argument_registers[index], &event.call.args[index]);
    return event;
  }
  uint8_t executed = 0;
  const bool was_hlt = uc_mem_read(engine_, started_at, &executed, 1) == UC_ERR_OK && executed == 0xF4;
  if (single_step_ && stop_ == Stop::none && error == UC_ERR_OK && stop_signal() == 0 && !was_hlt) {
    // One instruction done: the step's end, as a trace trap.
    event.kind = TrapEvent::Kind::stopped;
    event.signal = SIGTRAP;
    event.have_eip = true;
    event.eip = eip;
    return event;
  }
  if (stop_ == Stop::none && error == UC_ERR_OK && stop_signal() == 0 && g_slice_over.load()) {
    event.kind = TrapEvent::Kind::preempted;
    event.signal = 0;
    ready_ = true;
    return event;
  }
  if (stop_signal() != 0 && stop_ == Stop::none && error == UC_ERR_OK) {  // ended from outside
    alive_ = false;
    return event;
  }
  // Under the debugger the program stops at the fault and lives on; otherwise it ends.
  alive_ = debugged_;
  // A fault, or the CPU stopped where a program cannot go on (hlt, a jump to address 0):
  // Linux would end it with a signal.
  // The CPU stops after a hlt; Linux reports the privileged instruction's own address, and a
  // debugger sees it there and resumes at it, as at any other fault.
  uint8_t previous = 0;
  if (stop_ == Stop::none && error == UC_ERR_OK && eip != 0 && uc_mem_read(engine_, eip - 1, &previous, 1) == UC_ERR_OK &&
      previous == 0xF4) {
    --eip;
    uc_reg_write(engine_, UC_X86_REG_EIP, &eip);
  }
  // sysenter and syscall fault where their model-specific registers are unset: this CPU knows
  // no way into the kernel but int 0x80, and ends the program as a CPU without them would.
  uint8_t instruction[2] = {};
  if (stop_ == Stop::interrupt && vector_ == 13 && uc_mem_read(engine_, eip, instruction, 2) == UC_ERR_OK &&
      instruction[0] == 0x0F && (instruction[1] == 0x34 || instruction[1] == 0x05)) {
    vector_ = 6;
  }
  event.signal = stop_ == Stop::interrupt ? signal_for_vector(vector_)
                 : error != UC_ERR_OK     ? signal_for_error(error)
                                          : SIGSEGV;
  if (have_fault_address_) {
    // The faulting instruction, which the program resumes at (and faults again) under the debugger.
    eip = fault_eip_;
    uc_reg_write(engine_, UC_X86_REG_EIP, &eip);
  }
  event.have_eip = true;
  event.eip = eip;
  event.have_fault_address = have_fault_address_;
  event.fault_address = fault_address_;
  if (debugged_) event.kind = TrapEvent::Kind::stopped;
  return event;
}

namespace {

// The 32-bit registers the debugger sees, and whether it may change them: segment selectors
// stay as the loader set them (the flat model has no others), and so does the x87 state.
struct WordRegister {
  int engine_register;
  uint32_t debug::I386Registers::*field;
  bool writable;
};
constexpr WordRegister kWordRegisters[] = {
    {UC_X86_REG_EAX, &debug::I386Registers::eax, true},       {UC_X86_REG_ECX, &debug::I386Registers::ecx, true},
    {UC_X86_REG_EDX, &debug::I386Registers::edx, true},       {UC_X86_REG_EBX, &debug::I386Registers::ebx, true},
    {UC_X86_REG_ESP, &debug::I386Registers::esp, true},       {UC_X86_REG_EBP, &debug::I386Registers::ebp, true},
    {UC_X86_REG_ESI, &debug::I386Registers::esi, true},       {UC_X86_REG_EDI, &debug::I386Registers::edi, true},
    {UC_X86_REG_EIP, &debug::I386Registers::eip, true},       {UC_X86_REG_EFLAGS, &debug::I386Registers::eflags, true},
    {UC_X86_REG_CS, &debug::I386Registers::cs, false},        {UC_X86_REG_SS, &debug::I386Registers::ss, false},
    {UC_X86_REG_DS, &debug::I386Registers::ds, false},        {UC_X86_REG_ES, &debug::I386Registers::es, false},
    {UC_X86_REG_FS, &debug::I386Registers::fs, false},        {UC_X86_REG_GS, &debug::I386Registers::gs, false},
    {UC_X86_REG_FPCW, &debug::I386Registers::fctrl, false},   {UC_X86_REG_FPSW, &debug::I386Registers::fstat, false},
    {UC_X86_REG_FPTAG, &debug::I386Registers::ftag, false},   {UC_X86_REG_MXCSR, &debug::I386Registers::mxcsr, true},
};

}  // namespace

std::optional<debug::I386Registers> EmulatedGuest::registers() {
  debug::I386Registers r;
  for (const WordRegister& word : kWordRegisters) {
    r.*word.field = 0;
    uc_reg_read(engine_, word.engine_register, &(r.*word.field));
  }
  r.fctrl &= 0xFFFF, r.fstat &= 0xFFFF, r.ftag &= 0xFFFF;
  // st0 is the top of the x87 stack: physical register TOP + i holds st(i).
  const uint32_t top = (r.fstat >> 11) & 7;
  for (uint32_t i = 0; i < 8; ++i) {
    uint8_t value[16] = {};
    uc_reg_read(engine_, UC_X86_REG_FP0 + static_cast<int>((top + i) & 7), value);
    std::memcpy(r.st[i].data(), value, 10);
  }
  for (int i = 0; i < 8; ++i) uc_reg_read(engine_, UC_X86_REG_XMM0 + i, r.xmm[static_cast<size_t>(i)].data());
  return r;
}

void EmulatedGuest::set_registers(const debug::I386Registers& r) {
  for (const WordRegister& word : kWordRegisters) {
    if (word.writable) uc_reg_write(engine_, word.engine_register, &(r.*word.field));
  }
  for (int i = 0; i < 8; ++i) uc_reg_write(engine_, UC_X86_REG_XMM0 + i, r.xmm[static_cast<size_t>(i)].data());
}

std::vector<debug::CoreMemory> EmulatedGuest::memory_areas() {
  std::vector<debug::CoreMemory> pieces;
  for (const auto& [start, area] : areas_) {
    if (area.protection == PROT_NONE) continue;
    debug::CoreMemory piece;
    piece.address = start;
    piece.flags = ((area.protection & PROT_READ) ? 4u : 0u) | ((area.protection & PROT_WRITE) ? 2u : 0u) |
                  ((area.protection & PROT_EXEC) ? 1u : 0u);
    piece.bytes.resize(area.end - start);
    if (uc_mem_read(engine_, start, piece.bytes.data(), piece.bytes.size()) != UC_ERR_OK) continue;
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

size_t EmulatedGuest::debug_read(uint32_t address, std::span<uint8_t> destination) {
  return read_some(address, std::as_writable_bytes(destination));
}

size_t EmulatedGuest::debug_write(uint32_t address, std::span<const uint8_t> source) {
  // As a debugger writes: read-only pages (the code, for breakpoints) too.
  size_t done = 0;
  while (done < source.size()) {
    const uint32_t at = address + static_cast<uint32_t>(done);
    if (at < address) break;
    auto area = area_of(at);
    if (area == areas_.end() || area->second.protection == PROT_NONE) break;
    const size_t piece = std::min<size_t>(source.size() - done, area->second.end - at);
    if (uc_mem_write(engine_, at, source.data() + done, piece) != UC_ERR_OK) break;
    done += piece;
  }
  return done;
}

}  // namespace vornos::kernel
