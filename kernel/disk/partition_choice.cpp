// Choosing a partition, and the list shown when the choice is not clear.
#include "disk/partition_choice.h"

#include <vector>

namespace vornos::disk {

std::string describe_partition(const Partition& partition) {
  std::string line = "partition " + std::to_string(partition.number) + ": start " + std::to_string(partition.offset) +
                     ", " + std::to_string(partition.length) + " bytes, " + partition.type;
  if (!partition.label.empty()) line += ", label \"" + partition.label + "\"";
  return line;
}

std::optional<Partition> choose_partition(const PartitionTable& table, std::optional<uint32_t> requested,
                                          const PartitionCheck& check, std::string& problem) {
  std::vector<std::string> verdicts;  // per partition: empty when it holds the file system
  for (const Partition& partition : table.partitions) verdicts.push_back(check(partition));
  auto listing = [&] {
    std::string list;
    for (size_t i = 0; i < table.partitions.size(); ++i) {
      list += "\n  " + describe_partition(table.partitions[i]) + ": " + (verdicts[i].empty() ? "FAT32" : verdicts[i]);
    }
    return list;
  };
  const std::string table_text = std::string("the ") + table_name(table.kind);
  if (requested) {
    for (size_t i = 0; i < table.partitions.size(); ++i) {
      if (table.partitions[i].number != *requested) continue;
      if (verdicts[i].empty()) return table.partitions[i];
      problem = "partition " + std::to_string(*requested) + " holds no usable FAT32 volume: " + verdicts[i];
      return std::nullopt;
    }
    problem = table_text + " has no partition " + std::to_string(*requested) + listing();
    return std::nullopt;
  }
  std::vector<size_t> usable;
  for (size_t i = 0; i < table.partitions.size(); ++i) {
    if (table.partitions[i].fat_type && verdicts[i].empty()) usable.push_back(i);
  }
  if (usable.size() == 1) return table.partitions[usable.front()];
  if (usable.empty()) {
    problem = table_text + " has no partition of a FAT32 type that holds a FAT32 volume" +
              (table.partitions.empty() ? std::string(" (it lists no partitions)") : listing());
  } else {
    problem = table_text + " has " + std::to_string(usable.size()) +
              " FAT32 partitions; choose one with --partition N" + listing();
  }
  return std::nullopt;
}

}  // namespace vornos::disk
