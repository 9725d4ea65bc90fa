// Fuzz target: reads the partition table of a disk made of the input, as an image (sector size unknown) and
// as devices of 512- and 4096-byte sectors, then chooses a partition. Nothing may crash or hang, and a table
// that is accepted must keep its promises: every partition inside the disk and after sector 0, none
// overlapping another, numbers unique, byte ranges matching the sectors.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <span>
#include <string>

#include "disk/partition_choice.h"
#include "disk/partition_table.h"

using namespace vornos::disk;

namespace {

void check_promises(const PartitionTable& table, uint64_t disk_size) {
  std::set<uint32_t> numbers;
  for (size_t i = 0; i < table.partitions.size(); ++i) {
    const Partition& p = table.partitions[i];
    if (p.first_sector == 0 || p.sector_count == 0 || p.end() > disk_size || p.end() < p.offset) std::abort();
    if (p.offset != p.first_sector * table.sector_size || p.length != p.sector_count * table.sector_size) std::abort();
    if (!numbers.insert(p.number).second || p.number == 0) std::abort();
    for (size_t j = 0; j < i; ++j) {
      const Partition& q = table.partitions[j];
      if (p.offset < q.end() && q.offset < p.end()) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const DiskReader read = [&](uint64_t offset, std::span<uint8_t> out) {
    if (offset > size || out.size() > size - offset) return false;
    std::memcpy(out.data(), data + offset, out.size());
    return true;
  };
  for (const uint32_t sector_size : {0u, 512u, 4096u}) {
    PartitionTable table;
    std::string problem;
    if (!read_partition_table(read, size, sector_size, table, problem)) {
      if (problem.empty()) std::abort();  // a refusal always says why
      continue;
    }
    check_promises(table, size);
    // A check that finds a volume in every partition whose first byte is even.
    const PartitionCheck check = [&](const Partition& p) {
      return p.offset < size && data[p.offset] % 2 == 0 ? std::string() : std::string("odd");
    };
    std::string refusal;
    const auto chosen = choose_partition(table, std::nullopt, check, refusal);
    if (chosen.has_value() != refusal.empty()) std::abort();  // either a partition or the reason why not
    for (const Partition& p : table.partitions) {
      std::string why_not;
      const auto asked = choose_partition(table, p.number, check, why_not);
      if (asked ? asked->number != p.number || !why_not.empty() : why_not.empty()) std::abort();
    }
  }
  return 0;
}
