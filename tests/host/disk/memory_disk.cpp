// In-memory disks for the table reader's tests.
#include "memory_disk.h"

#include <algorithm>
#include <cstring>

#include "disk/crc32.h"
#include "disk/le.h"

namespace vornos::disk::test {

DiskReader MemoryDisk::reader() const {
  return [this](uint64_t offset, std::span<uint8_t> out) {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
  };
}

void MemoryDisk::put_le32(uint64_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void MemoryDisk::put_le64(uint64_t offset, uint64_t value) {
  put_le32(offset, static_cast<uint32_t>(value));
  put_le32(offset + 4, static_cast<uint32_t>(value >> 32));
}

void MemoryDisk::mbr_entry(uint64_t record, int index, uint8_t type, uint32_t first, uint32_t count) {
  const uint64_t base = record * sector_size_;
  const uint64_t entry = base + 446 + 16 * index;
  bytes_[entry] = 0;
  bytes_[entry + 4] = type;
  put_le32(entry + 8, first);
  put_le32(entry + 12, count);
  bytes_[base + 510] = 0x55;
  bytes_[base + 511] = 0xAA;
}

void MemoryDisk::reseal_gpt_header(uint64_t sector) {
  const uint64_t at = sector * sector_size_;
  const uint32_t header_size = load_le32(&bytes_[at + 12]);
  put_le32(at + 16, 0);
  put_le32(at + 16, crc32(std::span(&bytes_[at], header_size)));
}

void MemoryDisk::gpt(const std::vector<GptEntry>& entries) {
  constexpr uint32_t kCount = 128, kEntrySize = 128;
  const uint64_t array_sectors = uint64_t{kCount} * kEntrySize / sector_size_;
  const uint64_t last = sectors() - 1;
  mbr_entry(0, 0, 0xEE, 1, static_cast<uint32_t>(std::min<uint64_t>(last, 0xFFFFFFFF)));
  std::vector<uint8_t> array(kCount * kEntrySize);
  for (size_t i = 0; i < entries.size(); ++i) {
    uint8_t* e = &array[i * kEntrySize];
    std::copy(entries[i].type.begin(), entries[i].type.end(), e);
    e[16] = static_cast<uint8_t>(i + 1);  // a unique GUID of sorts
    for (int b = 0; b < 8; ++b) {
      e[32 + b] = static_cast<uint8_t>(entries[i].first >> (8 * b));
      e[40 + b] = static_cast<uint8_t>(entries[i].last >> (8 * b));
    }
    for (size_t c = 0; c < entries[i].name.size() && c < 36; ++c) {
      e[56 + 2 * c] = static_cast<uint8_t>(entries[i].name[c]);
      e[57 + 2 * c] = static_cast<uint8_t>(entries[i].name[c] >> 8);
    }
  }
  const uint32_t array_crc = crc32(array);
  const uint64_t backup_array = last - array_sectors;
  for (const auto& [header_lba, other_lba, array_lba] :
       {std::tuple{uint64_t{1}, last, uint64_t{2}}, std::tuple{last, uint64_t{1}, backup_array}}) {
    const uint64_t at = header_lba * sector_size_;
    std::memcpy(&bytes_[at], "EFI PART", 8);
    put_le32(at + 8, 0x00010000);
    put_le32(at + 12, 92);
    put_le64(at + 24, header_lba);
    put_le64(at + 32, other_lba);
    put_le64(at + 40, 2 + array_sectors);
    put_le64(at + 48, backup_array - 1);
    put_le64(at + 72, array_lba);
    put_le32(at + 80, kCount);
    put_le32(at + 84, kEntrySize);
    put_le32(at + 88, array_crc);
    std::copy(array.begin(), array.end(), bytes_.begin() + array_lba * sector_size_);
    reseal_gpt_header(header_lba);
  }
}

std::string summary(const PartitionTable& table) {
  std::string text;
  for (const Partition& p : table.partitions) {
    if (!text.empty()) text += "; ";
    text += std::to_string(p.number) + ":" + std::to_string(p.first_sector) + "+" + std::to_string(p.sector_count) + " " +
            p.type + (p.fat_type ? " (fat)" : "") + (p.label.empty() ? "" : " \"" + p.label + "\"");
  }
  return text;
}

}  // namespace vornos::disk::test
