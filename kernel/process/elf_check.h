// The check that a program image is one this system can run, made before anything runs.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vornos::kernel {

// Checks the ELF header and program headers of `image`: a 32-bit little-endian x86
// executable (ET_EXEC) with at least one PT_LOAD segment, no PT_INTERP and no PT_DYNAMIC,
// whose program headers lie inside the image. Returns an empty string when it passes, else
// the reason it does not ("not an ELF file", "a 64-bit ELF file", ...).
std::string check_program_image(std::span<const std::byte> image);

// Reads the file at `path` and checks it; the reason names unreadable or missing files too.
std::string check_program_file(const std::string& path);

}  // namespace vornos::kernel
