// ELF image check: static 32-bit x86 executables that Linux can load.
#include "platform/elf_check.h"

#include "vornos/abi/limits.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace vornos::kernel {
namespace {

// Reads exactly destination.size() bytes at an offset; false when they are not all there.
using ReadAt = std::function<bool(uint64_t offset, std::span<std::byte> destination)>;

template <typename Record>
bool read_record(const ReadAt& read_at, uint64_t offset, Record& record) {
  return read_at(offset, std::as_writable_bytes(std::span(&record, 1)));
}

std::string describe_class(unsigned char elf_class) {
  switch (elf_class) {
    case ELFCLASS64: return "a 64-bit ELF file";
    case ELFCLASS32: return "a 32-bit ELF file";
    default: return "an ELF file of unknown class " + std::to_string(elf_class);
  }
}

std::string hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%#llx", static_cast<unsigned long long>(value));
  return text;
}

// What Linux gives a 32-bit program: addresses below 0xFFFFE000, pages of 4 KiB, at most
// one page of program headers.
constexpr uint64_t kAddressSpaceEnd = 0xFFFFE000;
constexpr uint64_t kPage = abi::kPageSize;
constexpr unsigned kMostProgramHeaders = kPage / sizeof(Elf32_Phdr);

std::string check_segment(const Elf32_Phdr& segment, uint64_t size) {
  if (uint64_t{segment.p_offset} + segment.p_filesz > size) return "an ELF file whose segments run past its end";
  if (segment.p_filesz > segment.p_memsz) return "an ELF file with a segment larger in the file than in memory";
  if (uint64_t{segment.p_vaddr} + segment.p_memsz > kAddressSpaceEnd) {
    return "an ELF file with a segment at " + hex(segment.p_vaddr) + ".." + hex(uint64_t{segment.p_vaddr} + segment.p_memsz) +
           ", beyond the 32-bit address space (which ends at " + hex(kAddressSpaceEnd) + ")";
  }
  if (segment.p_filesz > 0 && (segment.p_vaddr - segment.p_offset) % kPage != 0) {
    return "an ELF file with a segment whose address and file offset differ modulo the page size";
  }
  return {};
}

std::string check_image(const ReadAt& read_at, uint64_t size) {
  unsigned char ident[EI_NIDENT];
  if (!read_at(0, std::as_writable_bytes(std::span(ident)).first(SELFMAG)) || std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
    return "not an ELF file";
  }
  if (!read_at(0, std::as_writable_bytes(std::span(ident)))) return "a truncated ELF header";
  if (ident[EI_CLASS] != ELFCLASS32) return describe_class(ident[EI_CLASS]) + ", not a 32-bit one";
  if (ident[EI_DATA] != ELFDATA2LSB) return "not a little-endian ELF file";

  Elf32_Ehdr header;
  if (!read_record(read_at, 0, header)) return "a truncated ELF header";
  if (header.e_machine != EM_386) return "an ELF file for machine " + std::to_string(header.e_machine) + ", not for x86 (3)";
  if (header.e_type == ET_DYN) return "a position-independent or shared ELF file, not a static executable";
  if (header.e_type != ET_EXEC) return "an ELF file of type " + std::to_string(header.e_type) + ", not an executable";
  if (header.e_phnum == 0) return "an ELF executable without program headers";
  if (header.e_phentsize != sizeof(Elf32_Phdr)) return "an ELF file with program headers of an unexpected size";
  if (header.e_phnum > kMostProgramHeaders) {
    return "an ELF file with " + std::to_string(header.e_phnum) + " program headers (Linux loads at most " +
           std::to_string(kMostProgramHeaders) + ")";
  }

  bool has_load = false;
  bool entry_mapped = false;
  for (unsigned index = 0; index < header.e_phnum; ++index) {
    Elf32_Phdr segment;
    if (!read_record(read_at, uint64_t{header.e_phoff} + uint64_t{index} * sizeof(Elf32_Phdr), segment)) {
      return "an ELF file whose program headers run past its end";
    }
    if (segment.p_type == PT_INTERP) return "a dynamically linked ELF file (it names an interpreter)";
    if (segment.p_type == PT_DYNAMIC) return "a dynamically linked ELF file (it has a dynamic section)";
    if (segment.p_type != PT_LOAD) continue;
    has_load = true;
    if (std::string reason = check_segment(segment, size); !reason.empty()) return reason;
    entry_mapped = entry_mapped || (header.e_entry >= segment.p_vaddr && header.e_entry - segment.p_vaddr < segment.p_memsz);
  }
  if (!has_load) return "an ELF executable without loadable segments";
  if (!entry_mapped) return "an ELF file whose entry point " + hex(header.e_entry) + " lies in none of its segments";
  return {};
}

}  // namespace

std::string check_program_image(std::span<const std::byte> image) {
  return check_image(
      [image](uint64_t offset, std::span<std::byte> destination) {
        if (offset > image.size() || image.size() - offset < destination.size()) return false;
        std::memcpy(destination.data(), image.data() + offset, destination.size());
        return true;
      },
      image.size());
}

std::string check_program_file(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return std::string("cannot open it: ") + std::strerror(errno);
  if (!S_ISREG(info.st_mode)) return "not a regular file";
  // Non-blocking, in case a FIFO took the file's place since the stat.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::string("cannot open it: ") + std::strerror(errno);
  std::string reason;
  if (fstat(fd, &info) != 0) {
    reason = std::string("cannot examine it: ") + std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    reason = "not a regular file";
  } else if (access(path.c_str(), X_OK) != 0) {
    reason = "not executable (no execute permission)";
  } else {
    int read_errno = 0;
    reason = check_image(
        [fd, &read_errno](uint64_t offset, std::span<std::byte> destination) {
          size_t have = 0;
          while (have < destination.size()) {
            const ssize_t got = pread(fd, destination.data() + have, destination.size() - have, static_cast<off_t>(offset + have));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) read_errno = errno;
            if (got <= 0) return false;
            have += static_cast<size_t>(got);
          }
          return true;
        },
        static_cast<uint64_t>(info.st_size));
    if (read_errno != 0) reason = std::string("cannot read it: ") + std::strerror(read_errno);
  }
  close(fd);
  return reason;
}

}  // namespace vornos::kernel
