// An ELF core file of a 32-bit x86 program, as Linux writes one, so that a debugger opens it with
// the program file: registers, the signal, and the program's memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "debug/i386_registers.h"

namespace vornos::debug {

// A piece of the program's memory; flags as a segment's (PF_X 1, PF_W 2, PF_R 4).
struct CoreMemory {
  uint32_t address = 0;
  uint32_t flags = 0;
  std::vector<uint8_t> bytes;
};

struct CoreProcess {
  int signal = 0;  // Linux's number
  int pid = 0;
  std::string program_name;  // its last path component is kept, 15 bytes at most
  std::string arguments;     // the command line as one string, 79 bytes at most
  I386Registers registers;
  std::optional<uint32_t> fault_address;
};

// The whole file: the ELF header, a note segment (the process status with the general registers,
// its name, the x87 registers, the signal's details) and one loaded segment per piece of memory,
// each at a page boundary of the file.
std::vector<uint8_t> build_core(const CoreProcess& process, const std::vector<CoreMemory>& memory);

// Writes the file; false (errno set) when it could not be written whole.
bool write_core(const std::string& path, const CoreProcess& process, const std::vector<CoreMemory>& memory);

}  // namespace vornos::debug
