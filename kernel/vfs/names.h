// One namespace for a run: the volume's entries and the fifos the programs make beside them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "vfs/file_system.h"

namespace vornos::kernel {

// What a fifo's name leads to. The namespace only holds it; the pipes give it its meaning.
class Pipe;

// FAT cannot store a fifo, so the fifo names live here, each under the one key that every
// spelling of its path resolves to: its parent directory as the volume resolves it (case,
// ".", "..", repeated '/'), then its own name folded as the volume compares names. A name is
// a fifo or a volume entry, never both. Paths are absolute, as the path calls make them.
class Names {
 public:
  // `volume` answers the lookups; without one no fifo can be made (-38).
  explicit Names(FileSystem* volume) : volume_(volume) {}

  // mkfifo: 0; -17 when a fifo or a volume entry has the name, or the path names no new
  // entry ("/", a last name "." or ".."); else the parent's lookup failure (-2, -20, ...).
  int32_t make_fifo(std::string_view path, std::shared_ptr<Pipe> pipe);
  // The pipe of the fifo `path` names, or null when it names none.
  std::shared_ptr<Pipe> fifo(std::string_view path) const;
  // unlink of a fifo: forgets the name (ends already open keep their pipe); false when
  // `path` names no fifo.
  bool remove_fifo(std::string_view path);

 private:
  // 0 with `key` set; 0 with `key` empty for a path that can name no entry of its own;
  // or the parent's lookup failure.
  int32_t key_of(std::string_view path, std::string& key) const;

  FileSystem* volume_;
  std::map<std::string, std::shared_ptr<Pipe>> fifos_;
};

}  // namespace vornos::kernel
