// A host pipe for tests of the devices: fill one end, drain the other.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace vornos::kernel::testing {

class HostPipe {
 public:
  HostPipe() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
      read_end = ends[0];
      write_end = ends[1];
    }
  }
  ~HostPipe() {
    close_read();
    close_write();
  }
  HostPipe(const HostPipe&) = delete;
  HostPipe& operator=(const HostPipe&) = delete;

  void fill(const std::string& bytes) { (void)!::write(write_end, bytes.data(), bytes.size()); }
  // Everything written so far (the write end must still be open; nothing blocks).
  std::string drain() {
    std::string bytes;
    const int flags = fcntl(read_end, F_GETFL);
    fcntl(read_end, F_SETFL, flags | O_NONBLOCK);
    char chunk[4096];
    for (ssize_t got; (got = ::read(read_end, chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<size_t>(got));
    fcntl(read_end, F_SETFL, flags);
    return bytes;
  }
  void close_read() {
    if (read_end >= 0) ::close(read_end);
    read_end = -1;
  }
  void close_write() {
    if (write_end >= 0) ::close(write_end);
    write_end = -1;
  }

  int read_end = -1;
  int write_end = -1;
};

}  // namespace vornos::kernel::testing
