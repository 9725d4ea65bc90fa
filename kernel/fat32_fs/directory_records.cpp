// Directory records from the volume's entries: names in UTF-8, sizes, attributes, dates, serials.
#include "fat32_fs/directory_records.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "fat32/text.h"

namespace vornos::kernel {
namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
}

// A directory is known by its first cluster, which its own entry, its "." and its children's
// ".." all store; a file by the place of its entry. The place leaves the low 16 bits to the
// entry's number within its cluster (at most 2048 of them), so the two never meet: the entry
// at the start of a directory's first cluster is that directory's ".".
uint64_t serial_of(const fat32::DirEntryInfo& info, uint32_t root_cluster) {
  if ((info.entry.attributes & fat32::attr::kDirectory) != 0) {
    const uint32_t cluster = info.entry.first_cluster() == 0 ? root_cluster : info.entry.first_cluster();
    return uint64_t{cluster} << 16;
  }
  return (uint64_t{info.cluster} << 16) | (info.offset / fat32::kDirEntrySize);
}

}  // namespace

int32_t seconds_since_1970(uint16_t dos_date, uint16_t dos_time) {
  const unsigned day = dos_date & 0x1F, month = (dos_date >> 5) & 0x0F;
  if (day == 0 || month == 0 || month > 12) return 0;
  const int64_t days = days_from_civil(1980 + (dos_date >> 9), month, day);
  const int64_t seconds = days * 86400 + (dos_time >> 11) * 3600 + ((dos_time >> 5) & 0x3F) * 60 + (dos_time & 0x1F) * 2;
  // FAT dates end in 2107, past what the signed 32-bit field holds from 2038 on.
  return seconds > INT32_MAX ? INT32_MAX : static_cast<int32_t>(seconds);
}

std::vector<DirectoryRecord> directory_records(const std::vector<fat32::DirEntryInfo>& entries, uint32_t root_cluster) {
  std::vector<DirectoryRecord> records;
  records.reserve(entries.size());
  for (const fat32::DirEntryInfo& info : entries) {
    // Every FAT reader takes an entry with the label bit for a label, not a file.
    if ((info.entry.attributes & fat32::attr::kVolumeLabel) != 0) continue;
    DirectoryRecord record{};
    record.serial = serial_of(info, root_cluster);
    const bool directory = (info.entry.attributes & fat32::attr::kDirectory) != 0;
    record.size = directory ? 0 : info.entry.size;
    record.modified = seconds_since_1970(info.entry.write_date, info.entry.write_time);
    record.attributes = info.entry.attributes;
    const std::string name = fat32::utf16_to_utf8(info.name());
    const size_t length = std::min(name.size(), sizeof record.name - 1);
    std::memcpy(record.name, name.data(), length);
    record.name_length = static_cast<uint16_t>(length);
    records.push_back(record);
  }
  return records;
}

}  // namespace vornos::kernel
