// ELF image check: static 32-bit x86 executables only.
#include "process/elf_check.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vornos::kernel {
namespace {

template <typename Record>
bool copy_record(std::span<const std::byte> image, uint64_t offset, Record& record) {
  if (offset > image.size() || image.size() - offset < sizeof(Record)) return false;
  std::memcpy(&record, image.data() + offset, sizeof(Record));
  return true;
}

std::string describe_class(unsigned char elf_class) {
  switch (elf_class) {
    case ELFCLASS64: return "a 64-bit ELF file";
    case ELFCLASS32: return "a 32-bit ELF file";
    default: return "an ELF file of unknown class " + std::to_string(elf_class);
  }
}

}  // namespace

std::string check_program_image(std::span<const std::byte> image) {
  unsigned char ident[EI_NIDENT];
  if (image.size() < SELFMAG || std::memcmp(image.data(), ELFMAG, SELFMAG) != 0) return "not an ELF file";
  if (image.size() < EI_NIDENT) return "a truncated ELF header";
  std::memcpy(ident, image.data(), EI_NIDENT);
  if (ident[EI_CLASS] != ELFCLASS32) return describe_class(ident[EI_CLASS]) + ", not a 32-bit one";
  if (ident[EI_DATA] != ELFDATA2LSB) return "not a little-endian ELF file";

  Elf32_Ehdr header;
  if (!copy_record(image, 0, header)) return "a truncated ELF header";
  if (header.e_machine != EM_386) return "an ELF file for machine " + std::to_string(header.e_machine) + ", not for x86 (3)";
  if (header.e_type == ET_DYN) return "a position-independent or shared ELF file, not a static executable";
  if (header.e_type != ET_EXEC) return "an ELF file of type " + std::to_string(header.e_type) + ", not an executable";
  if (header.e_phnum == 0) return "an ELF executable without program headers";
  if (header.e_phentsize != sizeof(Elf32_Phdr)) return "an ELF file with program headers of an unexpected size";

  bool has_load = false;
  for (unsigned index = 0; index < header.e_phnum; ++index) {
    Elf32_Phdr segment;
    if (!copy_record(image, uint64_t{header.e_phoff} + uint64_t{index} * sizeof(Elf32_Phdr), segment)) {
      return "an ELF file whose program headers run past its end";
    }
    if (segment.p_type == PT_INTERP) return "a dynamically linked ELF file (it names an interpreter)";
    if (segment.p_type == PT_DYNAMIC) return "a dynamically linked ELF file (it has a dynamic section)";
    if (segment.p_type == PT_LOAD) {
      has_load = true;
      if (uint64_t{segment.p_offset} + segment.p_filesz > image.size()) return "an ELF file whose segments run past its end";
    }
  }
  if (!has_load) return "an ELF executable without loadable segments";
  return {};
}

std::string check_program_file(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string("cannot open it: ") + std::strerror(errno);
  struct stat info;
  std::string reason;
  std::vector<std::byte> bytes;
  if (fstat(fd, &info) != 0) {
    reason = std::string("cannot examine it: ") + std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    reason = "not a regular file";
  } else if (access(path.c_str(), X_OK) != 0) {
    reason = "not executable (no execute permission)";
  } else {
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t have = 0;
    while (have < bytes.size()) {
      const ssize_t got = read(fd, bytes.data() + have, bytes.size() - have);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        reason = std::string("cannot read it: ") + std::strerror(errno);
        break;
      }
      if (got == 0) break;
      have += static_cast<size_t>(got);
    }
    bytes.resize(have);
  }
  close(fd);
  if (!reason.empty()) return reason;
  return check_program_image(bytes);
}

}  // namespace vornos::kernel
