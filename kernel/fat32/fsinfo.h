// The FSInfo sector: where a FAT32 volume keeps its hints of how many clusters are free and where the
// free ones begin. Both are hints: any driver may have left them stale.
#pragma once

#include <cstdint>
#include <span>

namespace vornos::fat32 {

// What either hint says when its writer did not know it.
inline constexpr uint32_t kUnknownHint = 0xFFFFFFFF;

struct FsInfoHints {
  uint32_t free_clusters = kUnknownHint;
  uint32_t next_free = kUnknownHint;
};

// Whether `sector` (a whole sector of at least 512 bytes) carries FSInfo's three signatures: a sector
// without them is no FSInfo, and neither read nor written as one.
bool is_fsinfo_sector(std::span<const uint8_t> sector);
// The hints of an FSInfo sector, as stored.
FsInfoHints read_fsinfo_hints(std::span<const uint8_t> sector);
// Stores `hints` into an FSInfo sector, nothing else of it.
void store_fsinfo_hints(std::span<uint8_t> sector, const FsInfoHints& hints);

}  // namespace vornos::fat32
