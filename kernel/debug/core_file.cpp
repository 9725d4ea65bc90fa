// An ELF core file of a 32-bit x86 program, as Linux writes one, so that a debugger opens it with
// the program file: registers, the signal, and the program's memory.
#include "debug/core_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vornos::debug {
namespace {

constexpr uint16_t kTypeCore = 4;
constexpr uint16_t kMachine386 = 3;
constexpr uint32_t kSegmentLoad = 1;
constexpr uint32_t kSegmentNote = 4;
constexpr uint32_t kNoteProcessStatus = 1;  // NT_PRSTATUS
constexpr uint32_t kNoteFloatRegisters = 2;  // NT_PRFPREG
constexpr uint32_t kNoteProcessInfo = 3;     // NT_PRPSINFO
constexpr uint32_t kNoteSignalInfo = 0x53494749;  // NT_SIGINFO
constexpr size_t kElfHeaderSize = 52;
constexpr size_t kProgramHeaderSize = 32;
constexpr size_t kPage = 4096;

// The records Linux writes for an i386 process, by their sizes and offsets.
constexpr size_t kProcessStatusSize = 144;  // struct elf_prstatus
constexpr size_t kStatusSignalAt = 12;      // pr_cursig
constexpr size_t kStatusPidAt = 24;
constexpr size_t kStatusRegistersAt = 72;   // pr_reg: 17 words
constexpr size_t kProcessInfoSize = 124;    // struct elf_prpsinfo
constexpr size_t kInfoNameAt = 28;          // pr_fname[16]
constexpr size_t kInfoArgumentsAt = 44;     // pr_psargs[80]
constexpr size_t kFloatRegistersSize = 108;  // struct user_i387_struct, the fsave layout
constexpr size_t kSignalInfoSize = 128;      // siginfo_t
constexpr int kSegvMapErr = 1;               // SEGV_MAPERR: an address without a mapping

class Bytes {
 public:
  void u8(uint8_t value) { data.push_back(value); }
  void u16(uint16_t value) { u8(static_cast<uint8_t>(value)), u8(static_cast<uint8_t>(value >> 8)); }
  void u32(uint32_t value) { u16(static_cast<uint16_t>(value)), u16(static_cast<uint16_t>(value >> 16)); }
  void append(const std::vector<uint8_t>& bytes) { data.insert(data.end(), bytes.begin(), bytes.end()); }
  void pad_to(size_t alignment) { data.resize((data.size() + alignment - 1) / alignment * alignment, 0); }
  std::vector<uint8_t> data;
};

void put_u32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

void note(Bytes& out, uint32_t type, const std::vector<uint8_t>& description) {
  static constexpr char kName[] = "CORE";
  out.u32(sizeof kName);
  out.u32(static_cast<uint32_t>(description.size()));
  out.u32(type);
  for (char c : kName) out.u8(static_cast<uint8_t>(c));
  out.pad_to(4);
  out.append(description);
  out.pad_to(4);
}

std::vector<uint8_t> process_status(const CoreProcess& process) {
  std::vector<uint8_t> status(kProcessStatusSize, 0);
  put_u32(status, 0, static_cast<uint32_t>(process.signal));  // pr_info.si_signo
  status[kStatusSignalAt] = static_cast<uint8_t>(process.signal);
  put_u32(status, kStatusPidAt, static_cast<uint32_t>(process.pid));
  const I386Registers& r = process.registers;
  // user_regs_struct's order; orig_eax -1: the program was not inside a system call.
  const uint32_t words[17] = {r.ebx, r.ecx, r.edx, r.esi, r.edi, r.ebp, r.eax, r.ds, r.es,
                              r.fs,  r.gs,  0xFFFFFFFFu, r.eip, r.cs, r.eflags, r.esp, r.ss};
  for (size_t i = 0; i < 17; ++i) put_u32(status, kStatusRegistersAt + 4 * i, words[i]);
  return status;
}

std::vector<uint8_t> process_info(const CoreProcess& process) {
  std::vector<uint8_t> info(kProcessInfoSize, 0);
  info[1] = 'R';  // pr_sname: it was running
  put_u32(info, 12, static_cast<uint32_t>(process.pid));
  const size_t slash = process.program_name.rfind('/');
  const std::string name = slash == std::string::npos ? process.program_name : process.program_name.substr(slash + 1);
  std::memcpy(info.data() + kInfoNameAt, name.data(), std::min<size_t>(name.size(), 15));
  std::memcpy(info.data() + kInfoArgumentsAt, process.arguments.data(), std::min<size_t>(process.arguments.size(), 79));
  return info;
}

std::vector<uint8_t> float_registers(const I386Registers& r) {
  std::vector<uint8_t> state(kFloatRegistersSize, 0);
  // cwd, swd, twd, fip, fcs (the opcode in its upper half), foo, fos, then the eight 10-byte registers.
  const uint32_t words[7] = {r.fctrl, r.fstat, r.ftag, r.fioff, (r.fiseg & 0xFFFF) | (r.fop & 0x7FF) << 16, r.fooff,
                             r.foseg};
  for (size_t i = 0; i < 7; ++i) put_u32(state, 4 * i, words[i]);
  for (size_t i = 0; i < 8; ++i) std::memcpy(state.data() + 28 + 10 * i, r.st[i].data(), 10);
  return state;
}

std::vector<uint8_t> signal_info(const CoreProcess& process) {
  std::vector<uint8_t> info(kSignalInfoSize, 0);
  put_u32(info, 0, static_cast<uint32_t>(process.signal));  // si_signo, si_errno 0
  if (process.fault_address) {
    put_u32(info, 8, kSegvMapErr);
    put_u32(info, 12, *process.fault_address);  // si_addr
  }
  return info;
}

}  // namespace

std::vector<uint8_t> build_core(const CoreProcess& process, const std::vector<CoreMemory>& memory) {
  Bytes notes;
  note(notes, kNoteProcessStatus, process_status(process));
  note(notes, kNoteProcessInfo, process_info(process));
  note(notes, kNoteFloatRegisters, float_registers(process.registers));
  note(notes, kNoteSignalInfo, signal_info(process));

  const size_t segment_count = 1 + memory.size();
  const size_t notes_at = kElfHeaderSize + kProgramHeaderSize * segment_count;
  Bytes out;
  const uint8_t ident[16] = {0x7f, 'E', 'L', 'F', 1 /* 32-bit */, 1 /* little-endian */, 1 /* version */};
  for (uint8_t byte : ident) out.u8(byte);
  out.u16(kTypeCore);
  out.u16(kMachine386);
  out.u32(1);  // e_version
  out.u32(0);  // e_entry
  out.u32(kElfHeaderSize);
  out.u32(0);  // no section headers
  out.u32(0);  // e_flags
  out.u16(kElfHeaderSize);
  out.u16(kProgramHeaderSize);
  out.u16(static_cast<uint16_t>(segment_count));
  out.u16(0);
  out.u16(0);
  out.u16(0);

  out.u32(kSegmentNote);
  out.u32(static_cast<uint32_t>(notes_at));
  out.u32(0);
  out.u32(0);
  out.u32(static_cast<uint32_t>(notes.data.size()));
  out.u32(0);
  out.u32(0);
  out.u32(4);
  size_t data_at = (notes_at + notes.data.size() + kPage - 1) / kPage * kPage;
  for (const CoreMemory& piece : memory) {
    out.u32(kSegmentLoad);
    out.u32(static_cast<uint32_t>(data_at));
    out.u32(piece.address);
    out.u32(0);
    out.u32(static_cast<uint32_t>(piece.bytes.size()));
    out.u32(static_cast<uint32_t>(piece.bytes.size()));
    out.u32(piece.flags);
    out.u32(kPage);
    data_at += (piece.bytes.size() + kPage - 1) / kPage * kPage;
  }
  out.append(notes.data);
  for (const CoreMemory& piece : memory) {
    out.pad_to(kPage);
    out.append(piece.bytes);
  }
  return out.data;
}

bool write_core(const std::string& path, const CoreProcess& process, const std::vector<CoreMemory>& memory) {
  const std::vector<uint8_t> bytes = build_core(process, memory);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      const int saved = errno;
      ::close(fd);
      errno = saved;
      return false;
    }
    written += static_cast<size_t>(count);
  }
  return ::close(fd) == 0;
}

}  // namespace vornos::debug
