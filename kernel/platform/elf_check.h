// The check that a program image is one this system can run, made before anything runs.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vornos::kernel {

// Checks the ELF header and program headers of `image`: a 32-bit little-endian x86
// executable (ET_EXEC) with at least one PT_LOAD segment, no PT_INTERP and no PT_DYNAMIC,
// whose program headers and segments lie inside the image, and which Linux can map: each
// segment within the 32-bit program's address space, no more file bytes than memory bytes,
// file offset and address equal modulo the page size, the entry point inside a segment.
// Returns an empty string when it passes, else the reason it does not ("not an ELF file",
// "a 64-bit ELF file", ...).
std::string check_program_image(std::span<const std::byte> image);

// Checks the file at `path` without opening anything but a regular file (a FIFO would block
// the open) and reads only its headers. The reason names unreadable or missing files too.
std::string check_program_file(const std::string& path);

}  // namespace vornos::kernel
