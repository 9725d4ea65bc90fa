// The command's and the package's metadata records, each in a section of its own that the
// system's tools read by name from the executable without running it.
//
// Both records are byte strings: a 4-byte magic, a little-endian 32-bit version, then
// NUL-terminated text fields back to back and one more NUL, so a record ends in two NULs.
// Every field is made of bytes, so the records have no padding and no alignment of their own;
// the sections' alignments are set on the objects. Nothing in the program refers to them:
// `used` keeps them in the object, and the SDK's linker script keeps their sections against
// garbage collection (so they carry no flag beyond "allocated").
#include <stddef.h>
#include <stdint.h>

namespace vornos {

struct CommandRecord {
  char magic[4];
  uint8_t version_le[4];
  char description[36];
  char example[9];
  char end;
};
static_assert(sizeof(CommandRecord) == 54);
static_assert(alignof(CommandRecord) == 1);
static_assert(offsetof(CommandRecord, version_le) == 4);
static_assert(offsetof(CommandRecord, description) == 8);
static_assert(offsetof(CommandRecord, example) == 44);
static_assert(offsetof(CommandRecord, end) == 53);

struct PackageRecord {
  char magic[4];
  uint8_t version_le[4];
  char name[7];
  char second_field[2];
  char end;
};
static_assert(sizeof(PackageRecord) == 18);
static_assert(alignof(PackageRecord) == 1);
static_assert(offsetof(PackageRecord, version_le) == 4);
static_assert(offsetof(PackageRecord, name) == 8);
static_assert(offsetof(PackageRecord, second_field) == 15);
static_assert(offsetof(PackageRecord, end) == 17);

// A text field holds its text and exactly one NUL: a shorter text would leave padding NULs
// inside the record, and the next field would no longer follow right after the terminator.
template <size_t N>
constexpr bool fills_exactly(const char (&field)[N]) {
  for (size_t i = 0; i + 1 < N; ++i) {
    if (field[i] == '\0') return false;
  }
  return field[N - 1] == '\0';
}

}  // namespace vornos

extern "C" [[gnu::used, gnu::section(".vornos.cmdmeta")]] alignas(32)
constexpr vornos::CommandRecord g_cmdmeta_0 = {
    {'V', 'C', 'M', 'D'},
    {1, 0, 0, 0},
    "Repair FAT32 directory entry flags.",
    "mendir /",  // the package name, one space, and the default path
    '\0',
};
static_assert(vornos::fills_exactly(g_cmdmeta_0.description));
static_assert(vornos::fills_exactly(g_cmdmeta_0.example));
static_assert(g_cmdmeta_0.end == '\0');

extern "C" [[gnu::used, gnu::section(".vornos.pkgmeta")]] alignas(4)
constexpr vornos::PackageRecord g_pkgmeta_0 = {
    {'V', 'P', 'K', 'G'},
    {1, 0, 0, 0},
    "mendir",
    "3",
    '\0',
};
static_assert(vornos::fills_exactly(g_pkgmeta_0.name));
static_assert(vornos::fills_exactly(g_pkgmeta_0.second_field));
static_assert(g_pkgmeta_0.end == '\0');
