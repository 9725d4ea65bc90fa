// Where the FAT32 volume lies in an image or on a device: the whole of it, or one partition of an MBR or
// a GPT.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "disk/partition_table.h"
#include "fat32/image_file.h"

namespace vornos::fat32 {

struct VolumePlace {
  uint64_t offset = 0;  // bytes from the start of the image
  uint64_t length = 0;
  disk::TableKind table = disk::TableKind::kNone;
  std::optional<disk::Partition> partition;  // unset for a volume without a partition table
  std::string note;                          // what the table reader worked around, if anything
};

// Finds the volume in `file` (not yet confined). An image that starts with a FAT32 boot sector is the
// volume, unless a partition was requested. Otherwise its MBR or GPT is read and a partition chosen (see
// disk::choose_partition; a partition holds a volume when its boot sector passes the checks a whole image
// passes and the volume fits in it). On failure returns false with `error` saying why, its first line a
// sentence, then a list of the partitions when a choice was refused. `image_name` names the image in the
// messages about a bare volume.
bool locate_volume(const ImageFile& file, const std::string& image_name, std::optional<uint32_t> requested,
                   VolumePlace& place, std::string& error);

// "partition 2 of the GPT: start 1048576, 33554432 bytes, Microsoft basic data, label "DATA"", or
// "the whole image".
std::string describe_place(const VolumePlace& place);

}  // namespace vornos::fat32
