// Reading and storing the hints of the FSInfo sector.
#include "fat32/fsinfo.h"

#include "fat32/le.h"

namespace vornos::fat32 {

namespace {

constexpr uint32_t kLeadSignature = 0x41615252;
constexpr uint32_t kStructSignature = 0x61417272;
constexpr uint32_t kTrailSignature = 0xAA550000;
constexpr size_t kStructSignatureOffset = 484;
constexpr size_t kFreeCountOffset = 488;
constexpr size_t kNextFreeOffset = 492;
constexpr size_t kTrailSignatureOffset = 508;

}  // namespace

bool is_fsinfo_sector(std::span<const uint8_t> sector) {
  if (sector.size() < kTrailSignatureOffset + 4) return false;
  const uint8_t* s = sector.data();
  return load_le32(s) == kLeadSignature && load_le32(s + kStructSignatureOffset) == kStructSignature &&
         load_le32(s + kTrailSignatureOffset) == kTrailSignature;
}

FsInfoHints read_fsinfo_hints(std::span<const uint8_t> sector) {
  return {load_le32(sector.data() + kFreeCountOffset), load_le32(sector.data() + kNextFreeOffset)};
}

void store_fsinfo_hints(std::span<uint8_t> sector, const FsInfoHints& hints) {
  store_le32(sector.data() + kFreeCountOffset, hints.free_clusters);
  store_le32(sector.data() + kNextFreeOffset, hints.next_free);
}

}  // namespace vornos::fat32
