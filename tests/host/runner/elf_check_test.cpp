// The program image check: crafted ELF images, one fault at a time, and files on disk.
#include <elf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "process/elf_check.h"

namespace vornos::kernel {
namespace {

// A minimal image of the kind the system runs: ELF header, then `phdrs` program headers.
struct Image {
  Elf32_Ehdr header{};
  std::vector<Elf32_Phdr> segments;

  Image() {
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS32;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_EXEC;
    header.e_machine = EM_386;
    header.e_version = EV_CURRENT;
    header.e_entry = 0x401000;
    header.e_phoff = sizeof(Elf32_Ehdr);
    header.e_ehsize = sizeof(Elf32_Ehdr);
    header.e_phentsize = sizeof(Elf32_Phdr);
    segments.push_back(load(PF_R | PF_X));
    segments.push_back(load(PF_R | PF_W));
  }
  static Elf32_Phdr load(uint32_t flags) {
    Elf32_Phdr segment{};
    segment.p_type = PT_LOAD;
    segment.p_offset = 0;
    segment.p_vaddr = 0x400000;
    segment.p_filesz = sizeof(Elf32_Ehdr);
    segment.p_memsz = 0x1000;
    segment.p_flags = flags;
    segment.p_align = 0x1000;
    return segment;
  }
  std::vector<std::byte> bytes() const {
    Elf32_Ehdr written = header;
    written.e_phnum = static_cast<Elf32_Half>(segments.size());
    std::vector<std::byte> out(sizeof written + segments.size() * sizeof(Elf32_Phdr));
    std::memcpy(out.data(), &written, sizeof written);
    if (!segments.empty()) std::memcpy(out.data() + sizeof written, segments.data(), segments.size() * sizeof(Elf32_Phdr));
    return out;
  }
};

std::string check(const Image& image) { return check_program_image(image.bytes()); }

TEST(ElfCheck, AcceptsAStatic32BitX86Executable) { EXPECT_EQ(check(Image{}), ""); }

TEST(ElfCheck, RefusesOtherKindsOfFile) {
  EXPECT_EQ(check_program_image({}), "not an ELF file");
  const std::string script = "#!/bin/sh\necho hi\n";
  EXPECT_EQ(check_program_image(std::as_bytes(std::span(script))), "not an ELF file");

  std::vector<std::byte> truncated = Image{}.bytes();
  truncated.resize(20);
  EXPECT_EQ(check_program_image(truncated), "a truncated ELF header");
}

TEST(ElfCheck, RefusesWrongClassByteOrderMachineAndType) {
  Image image;
  image.header.e_ident[EI_CLASS] = ELFCLASS64;
  EXPECT_NE(check(image).find("64-bit"), std::string::npos) << check(image);

  image = Image{};
  image.header.e_ident[EI_DATA] = ELFDATA2MSB;
  EXPECT_NE(check(image).find("little-endian"), std::string::npos);

  image = Image{};
  image.header.e_machine = EM_ARM;
  EXPECT_NE(check(image).find("not for x86"), std::string::npos);

  image = Image{};
  image.header.e_type = ET_DYN;
  EXPECT_NE(check(image).find("not a static executable"), std::string::npos);

  image = Image{};
  image.header.e_type = ET_REL;
  EXPECT_NE(check(image).find("not an executable"), std::string::npos);
}

TEST(ElfCheck, RefusesDynamicLinking) {
  Image image;
  Elf32_Phdr interpreter{};
  interpreter.p_type = PT_INTERP;
  image.segments.insert(image.segments.begin(), interpreter);
  EXPECT_NE(check(image).find("interpreter"), std::string::npos);

  image = Image{};
  Elf32_Phdr dynamic{};
  dynamic.p_type = PT_DYNAMIC;
  image.segments.push_back(dynamic);  // behind the loads: every header is looked at
  EXPECT_NE(check(image).find("dynamic section"), std::string::npos);
}

TEST(ElfCheck, RefusesBrokenProgramHeaders) {
  Image image;
  image.segments.clear();
  EXPECT_NE(check(image).find("without program headers"), std::string::npos);

  image = Image{};
  image.segments = {Elf32_Phdr{}};  // PT_NULL only
  EXPECT_NE(check(image).find("without loadable segments"), std::string::npos);

  image = Image{};
  image.header.e_phoff = 0xFFFFFFF0;  // far past the end, and would wrap in 32 bits
  EXPECT_NE(check(image).find("run past its end"), std::string::npos);

  image = Image{};
  image.segments[1].p_filesz = 0x100000;
  EXPECT_NE(check(image).find("segments run past its end"), std::string::npos);

  image = Image{};
  image.header.e_phentsize = 56;  // a 64-bit program header size
  EXPECT_NE(check(image).find("unexpected size"), std::string::npos);
}

class ElfFileCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = ::testing::TempDir() + "elf_check_" + std::to_string(getpid());
    mkdir(directory_.c_str(), 0700);
  }
  void TearDown() override {
    for (const char* name : {"good", "unreadable", "plain"}) unlink((directory_ + "/" + name).c_str());
    rmdir(directory_.c_str());
  }
  std::string write_file(const char* name, const std::vector<std::byte>& bytes, mode_t mode) {
    const std::string path = directory_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    chmod(path.c_str(), mode);
    return path;
  }
  std::string directory_;
};

TEST_F(ElfFileCheck, NamesMissingUnreadableAndNonExecutableFiles) {
  EXPECT_EQ(check_program_file(write_file("good", Image{}.bytes(), 0755)), "");
  EXPECT_NE(check_program_file(directory_ + "/missing").find("No such file"), std::string::npos);
  EXPECT_EQ(check_program_file(directory_), "not a regular file");
  EXPECT_NE(check_program_file(write_file("plain", Image{}.bytes(), 0644)).find("not executable"), std::string::npos);
  if (geteuid() != 0) {  // root reads every file
    EXPECT_NE(check_program_file(write_file("unreadable", Image{}.bytes(), 0311)).find("cannot open"), std::string::npos);
  }
}

}  // namespace
}  // namespace vornos::kernel
