// Finding the volume: a bare file system, or the partition of a table that holds one.
#include "fat32/volume_place.h"

#include <vector>

#include "disk/partition_choice.h"
#include "fat32/boot_sector.h"

namespace vornos::fat32 {
namespace {

// Why the partition holds no FAT32 volume this layer can use, or an empty string.
std::string check_partition(const ImageFile& file, const disk::Partition& partition) {
  std::vector<uint8_t> boot(kBootSectorMinSize);
  if (partition.length < boot.size()) return "smaller than a boot sector";
  if (!file.read_at(partition.offset, boot)) return "its boot sector is unreadable";
  Geometry geometry;
  std::string reason;
  if (!parse_boot_sector(boot, geometry, reason)) return "not FAT32: " + reason;
  if (geometry.size_bytes() > partition.length) {
    return "its boot sector says " + std::to_string(geometry.size_bytes()) + " bytes, the partition has " +
           std::to_string(partition.length);
  }
  return {};
}

}  // namespace

bool locate_volume(const ImageFile& file, const std::string& image_name, std::optional<uint32_t> requested,
                   VolumePlace& place, std::string& error) {
  place = VolumePlace{};
  place.length = file.size();
  std::vector<uint8_t> boot(kBootSectorMinSize);
  if (!file.read_at(0, boot)) {
    error = "not a FAT32 volume: " + image_name + " is smaller than a boot sector";
    return false;
  }
  Geometry geometry;
  std::string boot_problem;
  const bool bare_volume = parse_boot_sector(boot, geometry, boot_problem);
  if (bare_volume && !requested) return true;

  disk::PartitionTable table;
  std::string problem;
  const disk::DiskReader read = [&file](uint64_t offset, std::span<uint8_t> out) { return file.read_at(offset, out); };
  if (!disk::read_partition_table(read, file.size(), file.sector_size(), table, problem)) {
    error = std::string("its ") + disk::table_name(table.kind) + " cannot be trusted: " + problem;
    return false;
  }
  if (table.kind == disk::TableKind::kNone) {
    if (requested) {
      error = "--partition " + std::to_string(*requested) + " names a partition, but the image has no partition table" +
              (bare_volume ? " (it is a FAT32 volume as a whole)" : "");
    } else {
      error = "not a FAT32 volume: " + image_name + ": " + boot_problem;
    }
    return false;
  }
  const std::optional<disk::Partition> chosen = disk::choose_partition(
      table, requested, [&file](const disk::Partition& partition) { return check_partition(file, partition); }, problem);
  if (!chosen) {
    error = problem;
    return false;
  }
  place.offset = chosen->offset;
  place.length = chosen->length;
  place.table = table.kind;
  place.partition = chosen;
  place.note = table.note;
  return true;
}

std::string describe_place(const VolumePlace& place) {
  if (!place.partition) return "the whole image";
  std::string text = disk::describe_partition(*place.partition);
  text.insert(text.find(':'), std::string(" of the ") + disk::table_name(place.table));
  return text;
}

}  // namespace vornos::fat32
