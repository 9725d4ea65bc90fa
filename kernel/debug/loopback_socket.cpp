// The debugger's connection in the runner: one TCP connection accepted on 127.0.0.1 only.
#include "debug/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vornos::debug {

SocketConnection::~SocketConnection() { ::close(fd_); }

bool SocketConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(count));
  }
  return true;
}

long SocketConnection::receive(std::span<uint8_t> buffer, int timeout_ms) {
  pollfd ready{fd_, POLLIN, 0};
  int polled;
  do {
    polled = ::poll(&ready, 1, timeout_ms);
  } while (polled < 0 && errno == EINTR);
  if (polled < 0) return -1;
  if (polled == 0) return 0;
  ssize_t count;
  do {
    count = ::recv(fd_, buffer.data(), buffer.size(), 0);
  } while (count < 0 && errno == EINTR);
  return count > 0 ? count : -1;
}

std::unique_ptr<LoopbackListener> LoopbackListener::open(uint16_t port, std::string& error) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return nullptr;
  }
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  // Loopback only: the stub reads and writes the program's memory for whoever connects.
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    error = "127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<LoopbackListener>(new LoopbackListener(fd, ntohs(address.sin_port)));
}

LoopbackListener::~LoopbackListener() { ::close(fd_); }

std::unique_ptr<SocketConnection> LoopbackListener::accept(std::string& error, const std::function<bool()>& give_up) {
  for (;;) {
    if (give_up && give_up()) {
      error = "given up waiting for the debugger";
      return nullptr;
    }
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, 200) > 0) break;
  }
  int fd;
  do {
    fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = std::string("accept: ") + std::strerror(errno);
    return nullptr;
  }
  // Packets are small and answered one by one: sent at once, not gathered.
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return std::make_unique<SocketConnection>(fd);
}

}  // namespace vornos::debug
