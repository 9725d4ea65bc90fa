// The run's other programs as one program's calls see them; the process table answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "calls/process_files.h"

namespace vornos::kernel {

class ProcessControl {
 public:
  virtual ~ProcessControl() = default;

  // Whether `image` is a program this system runs (a checked 32-bit ELF executable).
  virtual bool can_run(std::span<const std::byte> image) const = 0;
  // Starts `image` (a checked program) as a child of the caller, with `argv` and `files`: the
  // child's id, or -11 at the process limit, -8 when the platform will not run it.
  virtual int32_t start_child(std::span<const std::byte> image, const std::vector<std::string>& argv,
                              std::unique_ptr<ProcessFiles> files) = 0;

  struct Child {
    int32_t id = 0;
    bool ended = false;
    int exit_status = 0;  // when ended: 0-255, or 128 + N for signal N
  };
  // The caller's children not waited for yet, by id.
  virtual std::vector<Child> children() const = 0;
  // Lets an ended child go once its parent has its status.
  virtual void reap(int32_t id) = 0;

  // Whether the caller runs alone, not under the debugger: only then may a call wait inside
  // the runner on the runner's own descriptors, since nothing else could run meanwhile.
  virtual bool alone() const = 0;
  // The runner's terminal in key mode (no line editing, no echo) while getkey waits, or back.
  virtual void set_key_mode(bool on) = 0;
};

}  // namespace vornos::kernel
