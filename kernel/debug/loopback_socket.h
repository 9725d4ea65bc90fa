// The debugger's connection in the runner: one TCP connection accepted on 127.0.0.1 only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "debug/debugger_connection.h"

namespace vornos::debug {

class SocketConnection final : public DebuggerConnection {
 public:
  explicit SocketConnection(int fd) : fd_(fd) {}
  ~SocketConnection() override;
  SocketConnection(const SocketConnection&) = delete;
  SocketConnection& operator=(const SocketConnection&) = delete;

  bool send(std::string_view bytes) override;
  long receive(std::span<uint8_t> buffer, int timeout_ms) override;

 private:
  int fd_;
};

class LoopbackListener {
 public:
  // Listens on 127.0.0.1:`port` (0: a free port the system picks); nothing, with `error` saying
  // why, when it cannot.
  static std::unique_ptr<LoopbackListener> open(uint16_t port, std::string& error);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  uint16_t port() const { return port_; }
  // Waits for the debugger; nothing, with `error` set, when accepting failed or when
  // `give_up`, asked a few times a second, says so.
  std::unique_ptr<SocketConnection> accept(std::string& error, const std::function<bool()>& give_up = {});

 private:
  LoopbackListener(int fd, uint16_t port) : fd_(fd), port_(port) {}
  int fd_;
  uint16_t port_;
};

}  // namespace vornos::debug
