// The GPT: a header at sector 1 and its backup at the last sector, each with its array of entries, both
// guarded by CRCs. The backup stands in for a damaged primary; when both fail the table is refused.
#include <algorithm>
#include <cstring>
#include <vector>

#include "disk/crc32.h"
#include "disk/le.h"
#include "disk/partition_table.h"
#include "disk/partition_types.h"

namespace vornos::disk {
namespace {

constexpr char kSignature[] = "EFI PART";
constexpr uint32_t kMinHeaderSize = 92;
constexpr uint32_t kMinEntrySize = 128;
// sgdisk writes 16 KiB of entries; an array of more than 4 MiB is garbage, and reading it would cost.
constexpr uint64_t kMaxEntryArrayBytes = 4u << 20;
constexpr size_t kNameAt = 56;
constexpr size_t kNameUnits = 36;

struct Header {
  uint64_t first_usable = 0, last_usable = 0;
  uint32_t entry_count = 0, entry_size = 0;
  std::vector<uint8_t> entries;
};

bool has_signature_at(const DiskReader& read, uint64_t disk_size, uint64_t offset) {
  char signature[8];
  return offset + 8 <= disk_size && read(offset, std::span(reinterpret_cast<uint8_t*>(signature), 8)) &&
         std::memcmp(signature, kSignature, 8) == 0;
}

// Reads and checks the header at sector `lba` and its entry array; on failure says what is wrong.
bool load_header(const DiskReader& read, uint64_t disk_size, uint32_t sector_size, uint64_t lba, Header& header,
                 std::string& problem) {
  const uint64_t sectors = disk_size / sector_size;
  if (lba >= sectors) {
    problem = "past the end of the disk";
    return false;
  }
  std::vector<uint8_t> sector(sector_size);
  if (!read(lba * sector_size, sector)) {
    problem = "unreadable";
    return false;
  }
  if (std::memcmp(sector.data(), kSignature, 8) != 0) {
    problem = "no \"EFI PART\" signature";
    return false;
  }
  const uint32_t header_size = load_le32(&sector[12]);
  if (header_size < kMinHeaderSize || header_size > sector_size) {
    problem = "header size " + std::to_string(header_size) + " is impossible";
    return false;
  }
  const uint32_t stored_crc = load_le32(&sector[16]);
  std::vector<uint8_t> zeroed(sector.begin(), sector.begin() + header_size);
  std::fill(zeroed.begin() + 16, zeroed.begin() + 20, 0);
  if (crc32(zeroed) != stored_crc) {
    problem = "header CRC fails";
    return false;
  }
  if (load_le64(&sector[24]) != lba) {
    problem = "the header says it lies at sector " + std::to_string(load_le64(&sector[24]));
    return false;
  }
  header.first_usable = load_le64(&sector[40]);
  header.last_usable = load_le64(&sector[48]);
  const uint64_t entries_lba = load_le64(&sector[72]);
  header.entry_count = load_le32(&sector[80]);
  header.entry_size = load_le32(&sector[84]);
  if (header.first_usable > header.last_usable) {
    problem = "first usable sector " + std::to_string(header.first_usable) + " is after the last, " +
              std::to_string(header.last_usable);
    return false;
  }
  if (header.entry_size < kMinEntrySize || header.entry_size % 8 != 0) {
    problem = "entry size " + std::to_string(header.entry_size) + " is impossible";
    return false;
  }
  const uint64_t array_bytes = uint64_t{header.entry_count} * header.entry_size;
  if (array_bytes > kMaxEntryArrayBytes) {
    problem = "an entry array of " + std::to_string(array_bytes) + " bytes is implausible";
    return false;
  }
  const uint64_t array_sectors = (array_bytes + sector_size - 1) / sector_size;
  if (entries_lba == 0 || entries_lba >= sectors || array_sectors > sectors - entries_lba) {
    problem = "its entry array (sector " + std::to_string(entries_lba) + ") lies past the end of the disk";
    return false;
  }
  header.entries.resize(array_bytes);
  if (!read(entries_lba * sector_size, header.entries)) {
    problem = "its entry array is unreadable";
    return false;
  }
  if (crc32(header.entries) != load_le32(&sector[88])) {
    problem = "entry array CRC fails";
    return false;
  }
  return true;
}

void append_utf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The entry's name (UTF-16LE, up to 36 units, NUL-terminated when shorter) as UTF-8; a lone surrogate
// becomes U+FFFD.
std::string entry_name(const uint8_t* entry) {
  std::string name;
  for (size_t i = 0; i < kNameUnits; ++i) {
    const uint16_t unit = load_le16(entry + kNameAt + 2 * i);
    if (unit == 0) break;
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < kNameUnits) {
      const uint16_t low = load_le16(entry + kNameAt + 2 * (i + 1));
      if (low >= 0xDC00 && low < 0xE000) {
        append_utf8(name, 0x10000 + ((uint32_t{unit} - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    append_utf8(name, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
  }
  return name;
}

std::string sectors_text(uint64_t first, uint64_t last) {
  return "sectors " + std::to_string(first) + "-" + std::to_string(last);
}

bool read_entries(const Header& header, uint64_t disk_size, PartitionTable& table, std::string& problem) {
  const uint32_t sector_size = table.sector_size;
  const uint64_t sectors = disk_size / sector_size;
  for (uint32_t index = 0; index < header.entry_count; ++index) {
    const uint8_t* entry = header.entries.data() + uint64_t{index} * header.entry_size;
    Guid type;
    std::copy(entry, entry + 16, type.begin());
    if (type == kGuidUnused) continue;
    const uint32_t number = index + 1;
    const uint64_t first = load_le64(entry + 32), last = load_le64(entry + 40);
    const std::string name = "partition " + std::to_string(number);
    if (last < first) {
      problem = name + " ends (sector " + std::to_string(last) + ") before it starts (sector " + std::to_string(first) + ")";
      return false;
    }
    if (last >= sectors) {
      problem = name + " (" + sectors_text(first, last) + ") ends past the end of the disk (" + std::to_string(sectors) +
                " sectors of " + std::to_string(sector_size) + " bytes)";
      return false;
    }
    if (first < header.first_usable || last > header.last_usable) {
      problem = name + " (" + sectors_text(first, last) + ") lies outside the GPT's usable " +
                sectors_text(header.first_usable, header.last_usable);
      return false;
    }
    Partition partition;
    partition.number = number;
    partition.first_sector = first;
    partition.sector_count = last - first + 1;
    partition.offset = first * sector_size;
    partition.length = partition.sector_count * sector_size;
    partition.type = gpt_type_name(type);
    partition.label = entry_name(entry);
    partition.fat_type = is_fat_gpt_type(type);
    table.partitions.push_back(std::move(partition));
  }
  return true;
}

}  // namespace

bool read_gpt(const DiskReader& read, uint64_t disk_size, uint32_t sector_size, PartitionTable& table,
              std::string& problem) {
  table.kind = TableKind::kGpt;
  if (sector_size == 0) {
    // An image does not say its sector size: the header lies at sector 1, 512 or 4096 bytes in.
    sector_size = !has_signature_at(read, disk_size, 512) && has_signature_at(read, disk_size, 4096) ? 4096 : 512;
  }
  table.sector_size = sector_size;
  Header header;
  std::string primary_problem, backup_problem;
  const uint64_t backup_lba = disk_size / sector_size - 1;
  if (!load_header(read, disk_size, sector_size, 1, header, primary_problem)) {
    header = Header{};
    if (!load_header(read, disk_size, sector_size, backup_lba, header, backup_problem)) {
      problem = "both headers fail: primary header (sector 1): " + primary_problem + "; backup header (sector " +
                std::to_string(backup_lba) + "): " + backup_problem;
      return false;
    }
    table.note = "the primary GPT header is damaged (" + primary_problem + "); the backup at sector " +
                 std::to_string(backup_lba) + " is used";
  }
  return read_entries(header, disk_size, table, problem) && check_partition_bounds(table, disk_size, problem);
}

}  // namespace vornos::disk
