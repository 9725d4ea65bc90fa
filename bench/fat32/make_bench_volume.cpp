// make-bench-volume: fills an empty FAT32 image (made by mkfs.fat) with a large, deep tree by writing the
// directories and the FAT directly, optionally with a sprinkling of damaged attribute bytes.
//
//   make-bench-volume IMAGE [--fanout F] [--depth D] [--files N] [--deep L] [--name-length C] [--damage-every K]
//
// The tree: F subdirectories per level down to depth D, N files (long mixed-case names with "~N" short
// names, one cluster of data each, allocated between their directory's clusters as writers do) in every
// directory below the root, and one extra chain of L nested directories (names of C characters
// with --name-length, for the memory a deep walk takes). With --damage-every K,
// every K-th entry gets a damaged attribute byte (a stray bit on a long-name slot, a label bit on a file or
// a directory, a directory bit on a file, in turn) and every K-th directory a "." entry without its
// directory bit. Prints the numbers of entries (short ones, then every 32-byte slot in use), directory
// clusters and damaged entries.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fat32/boot_sector.h"
#include "fat32/dir_entry.h"
#include "fat32/fat_table.h"
#include "fat32/image_file.h"
#include "fat32/le.h"
#include "fat32/names.h"

namespace {

using namespace vornos::fat32;

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "make-bench-volume: %s\n", message.c_str());
  std::exit(1);
}

struct Settings {
  std::string image;
  unsigned fanout = 10, depth = 4, files = 20, deep = 60, name_length = 0, damage_every = 0;
};

constexpr uint16_t kDate = ((2023 - 1980) << 9) | (11 << 5) | 14;
constexpr uint16_t kTime = 12 << 11;

class Builder {
 public:
  Builder(ImageFile& file, const Geometry& g, const Settings& s)
      : file_(file), g_(g), s_(s), fat_(size_t{g.cluster_count} + 2, 0) {}

  void build() {
    std::vector<uint8_t> first(8);
    if (!file_.read_at(g_.fat_offset(0), first)) die("cannot read the FAT");
    fat_[0] = load_le32(first.data());
    fat_[1] = load_le32(first.data() + 4);
    fat_[g_.root_cluster] = 0x0FFFFFFF;
    next_free_ = g_.root_cluster + 1;
    make_directory(g_.root_cluster, 0, 0, true);
    write_fat();
    std::printf("entries %llu (files %llu, directories %llu), slots %llu, directory clusters %llu, damaged %llu\n",
                static_cast<unsigned long long>(files_ + directories_), static_cast<unsigned long long>(files_),
                static_cast<unsigned long long>(directories_), static_cast<unsigned long long>(slots_), static_cast<unsigned long long>(directory_clusters_),
                static_cast<unsigned long long>(damaged_));
  }

 private:
  uint32_t allocate() {
    if (next_free_ > g_.max_cluster()) die("the image is too small for this tree");
    const uint32_t c = next_free_++;
    fat_[c] = 0x0FFFFFFF;
    return c;
  }

  // Appends a short entry with its long-name slots; returns the offset of the short entry.
  size_t add_entry(std::vector<uint8_t>& dir, const std::string& long_name, const char* short_name,
                   uint8_t attributes, uint32_t cluster, uint32_t size) {
    uint8_t name[kShortNameSize];
    std::memcpy(name, short_name, kShortNameSize);
    if (!long_name.empty()) {
      const std::u16string wide(long_name.begin(), long_name.end());  // the names are ASCII
      for (const LongNameSlot& slot : long_name_slots(wide, name)) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&slot);
        dir.insert(dir.end(), bytes, bytes + sizeof slot);
      }
    }
    ShortEntry e{};
    std::memcpy(e.name, name, kShortNameSize);
    e.attributes = attributes;
    e.create_date = e.write_date = e.access_date = kDate;
    e.create_time = e.write_time = kTime;
    e.cluster_high = static_cast<uint16_t>(cluster >> 16);
    e.cluster_low = static_cast<uint16_t>(cluster);
    e.size = size;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&e);
    const size_t offset = dir.size();
    dir.insert(dir.end(), bytes, bytes + sizeof e);
    return offset;
  }

  // Damages the entry at `offset` when its turn comes, cycling through: a stray 0x40 on its first
  // long-name slot (R1), the label bit (R3 on a directory, R4 on a file), the directory bit on a file (R5;
  // a directory gets the label bit instead).
  void maybe_damage(std::vector<uint8_t>& dir, size_t offset, bool is_directory) {
    if (s_.damage_every == 0 || ++entry_counter_ % s_.damage_every != 0) return;
    uint8_t& a = dir[offset + kAttrOffset];
    // A long name whose slots cross a cluster boundary cannot prove a damaged slot (its repair needs the
    // whole sequence in one cluster): such an entry gets the next kind of damage instead.
    size_t first_slot = offset;
    while (first_slot >= kDirEntrySize && dir[first_slot - kDirEntrySize + kAttrOffset] == attr::kLongName) {
      first_slot -= kDirEntrySize;
      if (dir[first_slot] & 0x40) break;
    }
    if (damage_kind_ % 3 == 0 && first_slot / g_.cluster_bytes != offset / g_.cluster_bytes) ++damage_kind_;
    switch (damage_kind_++ % 3) {
      case 0: dir[offset - kDirEntrySize + kAttrOffset] |= 0x40; break;
      case 1: a |= attr::kVolumeLabel; break;
      default: a |= is_directory ? attr::kVolumeLabel : attr::kDirectory; break;
    }
    ++damaged_;
  }

  // Every damage_every-th directory below the root loses the directory bit of its "." entry (R2).
  void maybe_damage_dot(std::vector<uint8_t>& dir) {
    if (s_.damage_every == 0 || ++directory_counter_ % s_.damage_every != 0) return;
    dir[kAttrOffset] &= static_cast<uint8_t>(~attr::kDirectory);
    ++damaged_;
  }

  void make_directory(uint32_t first, uint32_t parent, unsigned level, bool is_root, bool deep_chain = false,
                      unsigned deep_left = 0) {
    ++directories_;
    std::vector<uint8_t> dir;
    if (!is_root) {
      add_entry(dir, "", ".          ", attr::kDirectory, first, 0);
      add_entry(dir, "", "..         ", attr::kDirectory, parent == g_.root_cluster ? 0 : parent, 0);
    }
    unsigned subdirectories = deep_chain ? (deep_left > 0 ? 1 : 0) : (level < s_.depth ? s_.fanout : 0);
    for (unsigned i = 0; i < subdirectories; ++i) {
      const uint32_t child = allocate();
      char short_name[12];
      std::snprintf(short_name, sizeof short_name, "D%07u   ", ++name_counter_);
      std::string long_name = deep_chain ? "Deeper Level " + std::to_string(level + 1)
                                         : "Folder " + std::to_string(i) + " At Level " + std::to_string(level + 1);
      if (deep_chain && s_.name_length > long_name.size()) long_name.resize(std::min(s_.name_length, 255u), 'x');
      make_directory(child, first, level + 1, false, deep_chain, deep_left ? deep_left - 1 : 0);
      const size_t offset = add_entry(dir, long_name, short_name, attr::kDirectory, child, 0);
      maybe_damage(dir, offset, true);
    }
    if (is_root && s_.deep > 0) {
      const uint32_t child = allocate();
      make_directory(child, first, 0, false, true, s_.deep - 1);
      const size_t offset = add_entry(dir, "A Very Deep Chain Of Folders", "DEEPCHAIN  ", attr::kDirectory, child, 0);
      maybe_damage(dir, offset, true);
    }
    if (!is_root) {
      for (unsigned i = 0; i < s_.files; ++i) {
        char short_name[12];
        ++name_counter_;
        const std::string tail = "~" + std::to_string(i + 1);
        const std::string base = std::string("HOLIDAYP").substr(0, 8 - tail.size()) + tail;
        std::snprintf(short_name, sizeof short_name, "%-8sJPG", base.c_str());
        const std::string long_name = "Holiday Photo " + std::to_string(i) + " From Trip " + std::to_string(first) + ".jpg";
        const uint32_t size = 100 + (name_counter_ * 37) % 3900;
        const uint32_t data = allocate();
        write_data(data, size);
        const size_t offset = add_entry(dir, long_name, short_name, attr::kArchive, data, size);
        ++files_;
        maybe_damage(dir, offset, false);
      }
    }
    if (!is_root) maybe_damage_dot(dir);
    write_directory(first, dir);
  }

  void write_data(uint32_t cluster, uint32_t size) {
    std::vector<uint8_t> data(std::min(size, g_.cluster_bytes), static_cast<uint8_t>('a' + cluster % 26));
    if (!file_.write_at(g_.cluster_offset(cluster), data)) die("cannot write cluster " + std::to_string(cluster));
  }

  void write_directory(uint32_t first, std::vector<uint8_t>& dir) {
    slots_ += dir.size() / kDirEntrySize;
    const size_t clusters = std::max<size_t>(1, (dir.size() + g_.cluster_bytes - 1) / g_.cluster_bytes);
    dir.resize(clusters * g_.cluster_bytes, 0);
    uint32_t cluster = first;
    for (size_t i = 0; i < clusters; ++i) {
      if (i + 1 < clusters) {
        const uint32_t next = allocate();
        fat_[cluster] = next;
      }
      if (!file_.write_at(g_.cluster_offset(cluster), {&dir[i * g_.cluster_bytes], g_.cluster_bytes})) {
        die("cannot write cluster " + std::to_string(cluster));
      }
      ++directory_clusters_;
      if (i + 1 < clusters) cluster = fat_[cluster];
    }
  }

  void write_fat() {
    std::vector<uint8_t> bytes(fat_.size() * 4);
    for (size_t i = 0; i < fat_.size(); ++i) store_le32(&bytes[i * 4], fat_[i]);
    for (uint32_t copy = 0; copy < g_.fat_count; ++copy) {
      if (!file_.write_at(g_.fat_offset(copy), bytes)) die("cannot write the FAT");
    }
    if (g_.fsinfo_sector != 0) {
      std::vector<uint8_t> info(g_.bytes_per_sector);
      const uint64_t at = uint64_t{g_.fsinfo_sector} * g_.bytes_per_sector;
      if (!file_.read_at(at, info)) die("cannot read FSInfo");
      store_le32(&info[488], g_.max_cluster() + 1 - next_free_);
      store_le32(&info[492], next_free_);
      if (!file_.write_at(at, info)) die("cannot write FSInfo");
    }
    if (!file_.sync()) die("cannot sync");
  }

  ImageFile& file_;
  const Geometry& g_;
  const Settings& s_;
  std::vector<uint32_t> fat_;
  uint32_t next_free_ = 0;
  uint32_t name_counter_ = 0;
  uint64_t files_ = 0, directories_ = 0, directory_clusters_ = 0, damaged_ = 0, entry_counter_ = 0;
  uint64_t directory_counter_ = 0, slots_ = 0;
  unsigned damage_kind_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  if (argc < 2) die("usage: make-bench-volume IMAGE [--fanout F] [--depth D] [--files N] [--deep L] [--name-length C] [--damage-every K]");
  s.image = argv[1];
  if (argc % 2 != 0) die("every option needs a value");
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const unsigned value = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    if (option == "--fanout") s.fanout = value;
    else if (option == "--depth") s.depth = value;
    else if (option == "--files") s.files = value;
    else if (option == "--deep") s.deep = value;
    else if (option == "--name-length") s.name_length = value;
    else if (option == "--damage-every") s.damage_every = value;
    else die("unknown option " + option);
  }
  ImageFile file;
  std::string error;
  if (!file.open(s.image, false, error)) die("cannot open " + s.image + ": " + error);
  std::vector<uint8_t> boot(kBootSectorMinSize);
  Geometry g;
  if (!file.read_at(0, boot) || !parse_boot_sector(boot, g, error)) die("not a FAT32 image: " + error);
  Builder(file, g, s).build();
  return 0;
}
