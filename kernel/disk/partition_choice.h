// Choosing the partition a volume lives in: the one a user named, or the only one that holds the file
// system looked for; otherwise a refusal that lists what there is.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "disk/partition_table.h"

namespace vornos::disk {

// Says why a partition does not hold the file system looked for, or returns an empty string when it does.
using PartitionCheck = std::function<std::string(const Partition&)>;

// One line of a list: "partition 2: start 1048576, 33554432 bytes, Microsoft basic data, label "DATA"".
std::string describe_partition(const Partition& partition);

// With `requested`, that partition when it exists and passes `check`. Without, the only partition of a type
// FAT32 is given that passes `check`. Otherwise nullopt and `problem` holds the reason on its first line,
// then one line per partition (see describe_partition) with, for each, ": usable" or why not.
std::optional<Partition> choose_partition(const PartitionTable& table, std::optional<uint32_t> requested,
                                          const PartitionCheck& check, std::string& problem);

}  // namespace vornos::disk
