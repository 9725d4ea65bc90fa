// The debugger's remote protocol for one i386 program: packets in, the target driven, replies out.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "debug/debug_target.h"
#include "debug/debugger_connection.h"
#include "debug/rsp_framing.h"
#include "debug/software_breakpoints.h"

namespace vornos::debug {

// How a session ended.
enum class SessionEnd {
  kDetached,      // the debugger detached, or went away while the program lived: it runs on freely
  kKilled,        // the debugger killed the program
  kProgramEnded,  // the program ended (exit or signal) and the debugger was told
};

class GdbStub {
 public:
  GdbStub(DebugTarget& target, DebuggerConnection& connection) : target_(target), connection_(connection) {}

  // Serves the debugger until the session ends. The program is stopped at the start; it runs
  // only when the debugger says so.
  SessionEnd serve();

  // One packet's reply, for the packets that need no run of the program (and the tests); a
  // packet that resumes the program runs it and answers its stop. Nothing while no reply is due.
  std::optional<std::string> handle_packet(std::string_view packet);

  // How the program ended, once it did.
  std::optional<StopEvent> program_end() const { return ended_; }

 private:
  enum class Resume { kStep, kContinue };

  void send_packet(std::string_view payload);
  // Takes what the connection holds (waiting at most `timeout_ms`) into the queue of events;
  // false when the debugger has gone.
  bool pull(int timeout_ms);
  bool interrupt_pending();

  std::string query(std::string_view packet);
  std::string resume(Resume how, int gdb_signal);
  std::string resume_from_vcont(std::string_view actions);
  std::string stop_reply(const StopEvent& event, bool at_breakpoint);
  std::string read_memory(std::string_view arguments);
  std::string write_memory(std::string_view arguments, bool binary);
  std::string breakpoint(std::string_view arguments, bool add);
  std::string read_register(std::string_view arguments);
  std::string write_register(std::string_view arguments);
  std::string write_all_registers(std::string_view hex);
  std::string features(std::string_view arguments);

  DebugTarget& target_;
  DebuggerConnection& connection_;
  PacketReader reader_;
  std::deque<FramingEvent> events_;
  SoftwareBreakpoints breakpoints_;
  std::string last_sent_;
  bool ack_mode_ = true;
  bool debugger_knows_swbreak_ = false;
  bool debugger_gone_ = false;
  StopEvent last_stop_{StopEvent::Kind::kTrap, 5};
  std::optional<StopEvent> ended_;
  std::optional<SessionEnd> session_end_;
};

}  // namespace vornos::debug
