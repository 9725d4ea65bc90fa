// The debugger's remote protocol for one i386 program: packets in, the target driven, replies out.
#include "debug/gdb_stub.h"

#include <algorithm>
#include <csignal>
#include <vector>

#include "debug/gdb_signals.h"
#include "debug/hex.h"

namespace vornos::debug {
namespace {

// The program is the one thread the debugger sees.
constexpr std::string_view kThreadId = "1";
constexpr std::string_view kBadArguments = "E01";
constexpr std::string_view kBadAddress = "E0e";  // EFAULT, as a native stub answers
// A memory read's reply is hex: two characters per byte must fit the packet size.
constexpr size_t kMaxReadLength = PacketReader::kMaxPayload / 2;

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// "ADDR,LENGTH" (each in hex) at the start of `text`; the rest after LENGTH in `rest`.
bool parse_address_length(std::string_view text, uint32_t& address, uint32_t& length, std::string_view* rest = nullptr) {
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) return false;
  size_t end = text.find_first_of(":;", comma + 1);
  if (end == std::string_view::npos) end = text.size();
  const auto parsed_address = parse_hex_u32(text.substr(0, comma));
  const auto parsed_length = parse_hex_u32(text.substr(comma + 1, end - comma - 1));
  if (!parsed_address || !parsed_length) return false;
  address = *parsed_address;
  length = *parsed_length;
  if (rest != nullptr) *rest = text.substr(end);
  return true;
}

std::string hex_u32_le(uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return hex_encode(bytes);
}

}  // namespace

SessionEnd GdbStub::serve() {
  while (!session_end_) {
    if (events_.empty() && !pull(-1)) break;
    while (!events_.empty() && !session_end_) {
      FramingEvent event = std::move(events_.front());
      events_.pop_front();
      switch (event.kind) {
        case FramingEvent::Kind::kPacket: {
          if (ack_mode_) connection_.send("+");
          const auto reply = handle_packet(event.payload);
          if (reply && !debugger_gone_) send_packet(*reply);
          break;
        }
        case FramingEvent::Kind::kBadPacket:
          if (ack_mode_) connection_.send("-");
          break;
        case FramingEvent::Kind::kNack:
          if (!last_sent_.empty()) connection_.send(last_sent_);
          break;
        case FramingEvent::Kind::kAck:
        case FramingEvent::Kind::kInterrupt:  // the program is stopped already
          break;
      }
    }
  }
  if (session_end_) return *session_end_;
  // The debugger went away: a program that still lives runs on without it.
  return ended_ ? SessionEnd::kProgramEnded : SessionEnd::kDetached;
}

void GdbStub::send_packet(std::string_view payload) {
  last_sent_ = frame_packet(payload);
  connection_.send(last_sent_);
}

bool GdbStub::pull(int timeout_ms) {
  uint8_t buffer[4096];
  const long count = connection_.receive(buffer, timeout_ms);
  if (count < 0) return false;
  std::vector<FramingEvent> events;
  reader_.feed({buffer, static_cast<size_t>(count)}, events);
  for (auto& event : events) events_.push_back(std::move(event));
  return true;
}

bool GdbStub::interrupt_pending() {
  if (!pull(0)) {
    // Gone while the program ran: it runs on freely.
    debugger_gone_ = true;
    session_end_ = SessionEnd::kDetached;
    return false;
  }
  bool interrupted = false;
  for (auto it = events_.begin(); it != events_.end();) {
    if (it->kind == FramingEvent::Kind::kInterrupt) {
      interrupted = true;
      it = events_.erase(it);
    } else {
      ++it;
    }
  }
  return interrupted;
}

std::optional<std::string> GdbStub::handle_packet(std::string_view packet) {
  if (packet.empty()) return std::string();
  const std::string_view arguments = packet.substr(1);
  const bool alive = !ended_;
  switch (packet[0]) {
    case '?':
      return stop_reply(ended_ ? *ended_ : last_stop_, false);
    case 'g':
      if (!alive) return std::string(kBadArguments);
      return hex_encode(register_bytes(target_.read_registers()));
    case 'G':
      return alive ? write_all_registers(arguments) : std::string(kBadArguments);
    case 'p':
      return alive ? read_register(arguments) : std::string(kBadArguments);
    case 'P':
      return alive ? write_register(arguments) : std::string(kBadArguments);
    case 'm':
      return alive ? read_memory(arguments) : std::string(kBadArguments);
    case 'M':
      return alive ? write_memory(arguments, false) : std::string(kBadArguments);
    case 'X':
      return alive ? write_memory(arguments, true) : std::string(kBadArguments);
    case 'Z':
    case 'z':
      return alive ? breakpoint(arguments, packet[0] == 'Z') : std::string(kBadArguments);
    case 'c':
    case 's': {
      if (!arguments.empty()) {
        const auto address = parse_hex_u32(arguments);
        if (!address || !alive) return std::string(kBadArguments);
        I386Registers registers = target_.read_registers();
        registers.eip = *address;
        target_.write_registers(registers);
      }
      return resume(packet[0] == 's' ? Resume::kStep : Resume::kContinue, 0);
    }
    case 'C':
    case 'S': {
      const auto signal = parse_hex_u32(arguments.substr(0, arguments.find(';')));
      if (!signal) return std::string(kBadArguments);
      return resume(packet[0] == 'S' ? Resume::kStep : Resume::kContinue, static_cast<int>(*signal));
    }
    case 'v':
      if (packet == "vCont?") return std::string("vCont;c;C;s;S");
      if (starts_with(packet, "vCont;")) return resume_from_vcont(packet.substr(6));
      if (starts_with(packet, "vKill")) {
        if (alive) target_.kill();
        session_end_ = alive ? SessionEnd::kKilled : SessionEnd::kProgramEnded;
        return std::string("OK");
      }
      return std::string();
    case 'q':
    case 'Q':
      return query(packet);
    case 'H':
    case 'T':
      return std::string("OK");
    case 'k':
      if (alive) target_.kill();
      session_end_ = alive ? SessionEnd::kKilled : SessionEnd::kProgramEnded;
      return std::nullopt;
    case 'D':
      session_end_ = alive ? SessionEnd::kDetached : SessionEnd::kProgramEnded;
      return std::string("OK");
    default:
      return std::string();
  }
}

std::string GdbStub::query(std::string_view packet) {
  if (starts_with(packet, "qSupported")) {
    debugger_knows_swbreak_ = packet.find("swbreak+") != std::string_view::npos;
    return "PacketSize=" + hex_u32(PacketReader::kMaxPayload) +
           ";qXfer:features:read+;swbreak+;vContSupported+;QStartNoAckMode+";
  }
  if (starts_with(packet, "qXfer:features:read:")) return features(packet.substr(20));
  if (packet == "QStartNoAckMode") {
    // The '+' for this packet went out already; the reply is the last packet acknowledged.
    ack_mode_ = false;
    return "OK";
  }
  if (packet == "qAttached") return "0";  // started for the debugger: its quit kills the program
  if (packet == "qC") return "QC" + std::string(kThreadId);
  if (packet == "qfThreadInfo") return "m" + std::string(kThreadId);
  if (packet == "qsThreadInfo") return "l";
  if (starts_with(packet, "qSymbol")) return "OK";
  return "";
}

std::string GdbStub::features(std::string_view arguments) {
  const size_t colon = arguments.find(':');
  uint32_t offset = 0, length = 0;
  if (colon == std::string_view::npos || arguments.substr(0, colon) != "target.xml" ||
      !parse_address_length(arguments.substr(colon + 1), offset, length)) {
    return "E00";
  }
  const std::string_view description = i386_target_description();
  if (offset >= description.size()) return "l";
  // Escapes may double a byte: half the packet size leaves room for them.
  const size_t count = std::min({size_t{length}, description.size() - offset, PacketReader::kMaxPayload / 2});
  const char more = offset + count < description.size() ? 'm' : 'l';
  return more + std::string(description.substr(offset, count));
}

std::string GdbStub::resume_from_vcont(std::string_view actions) {
  // One thread: the first action is the one for it (a thread suffix, if any, names it or all).
  const std::string_view action = actions.substr(0, actions.find(';'));
  const std::string_view verb = action.substr(0, action.find(':'));
  if (verb == "c") return resume(Resume::kContinue, 0);
  if (verb == "s") return resume(Resume::kStep, 0);
  if (verb.size() > 1 && (verb[0] == 'C' || verb[0] == 'S')) {
    const auto signal = parse_hex_u32(verb.substr(1));
    if (!signal) return std::string(kBadArguments);
    return resume(verb[0] == 'S' ? Resume::kStep : Resume::kContinue, static_cast<int>(*signal));
  }
  return std::string(kBadArguments);
}

std::string GdbStub::resume(Resume how, int gdb_signal) {
  if (ended_) return std::string(kBadArguments);
  int signal = gdb_signal != 0 ? host_signal_from_gdb(gdb_signal) : 0;
  const StopEvent interrupted{StopEvent::Kind::kSignal, SIGINT};
  StopEvent event;
  // A step that waits in a kernel call is still one step: it goes on until the call completes.
  const auto step = [&] {
    event = target_.step(signal);
    signal = 0;
    while (event.kind == StopEvent::Kind::kKernelCall) {
      if (interrupt_pending()) {
        target_.interrupt();
        event = interrupted;
        break;
      }
      if (session_end_) return;
      event = target_.step(0);
    }
  };
  if (how == Resume::kStep) {
    step();
  } else {
    // The breakpoint under eip, if any, would stop the program at once: step off it first.
    bool running = true;
    if (breakpoints_.contains(target_.read_registers().eip)) {
      step();
      running = event.kind == StopEvent::Kind::kTrap && !session_end_;
    }
    if (running) {
      breakpoints_.insert_all(target_);
      for (;;) {
        event = target_.run(signal);
        signal = 0;
        if (event.kind != StopEvent::Kind::kKernelCall) break;
        if (interrupt_pending()) {
          target_.interrupt();
          event = interrupted;
          break;
        }
        if (session_end_) {
          // The debugger is gone: the code is put back and the program runs on without it.
          breakpoints_.restore_all(target_);
          breakpoints_.clear();
          return "";
        }
      }
      breakpoints_.restore_all(target_);
    }
  }
  if (session_end_ && event.kind == StopEvent::Kind::kKernelCall) return "";
  bool at_breakpoint = false;
  if (how == Resume::kContinue && event.kind == StopEvent::Kind::kTrap) {
    I386Registers registers = target_.read_registers();
    if (breakpoints_.contains(registers.eip - 1)) {
      at_breakpoint = true;
      // A debugger that knows of swbreak expects eip at the breakpoint; one that does not moves
      // it back itself.
      if (debugger_knows_swbreak_) {
        registers.eip -= 1;
        target_.write_registers(registers);
      }
    }
  }
  last_stop_ = event;
  return stop_reply(event, at_breakpoint);
}

std::string GdbStub::stop_reply(const StopEvent& event, bool at_breakpoint) {
  switch (event.kind) {
    case StopEvent::Kind::kExited:
      ended_ = event;
      return "W" + hex_byte(static_cast<uint8_t>(event.value));
    case StopEvent::Kind::kKilled:
      ended_ = event;
      return "X" + hex_byte(static_cast<uint8_t>(gdb_signal_from_host(event.value)));
    case StopEvent::Kind::kTrap:
    case StopEvent::Kind::kSignal:
    case StopEvent::Kind::kKernelCall:
      break;
  }
  const int signal = event.kind == StopEvent::Kind::kSignal ? gdb_signal_from_host(event.value) : 5;
  std::string reply = "T" + hex_byte(static_cast<uint8_t>(signal));
  if (at_breakpoint && debugger_knows_swbreak_) reply += "swbreak:;";
  reply += "thread:" + std::string(kThreadId) + ";";
  // eip, esp and ebp with the stop, which spares the debugger three reads for a backtrace.
  const I386Registers registers = target_.read_registers();
  reply += "08:" + hex_u32_le(registers.eip) + ";04:" + hex_u32_le(registers.esp) + ";05:" +
           hex_u32_le(registers.ebp) + ";";
  return reply;
}

std::string GdbStub::read_memory(std::string_view arguments) {
  uint32_t address = 0, length = 0;
  std::string_view rest;
  if (!parse_address_length(arguments, address, length, &rest) || !rest.empty()) return std::string(kBadArguments);
  std::vector<uint8_t> bytes(std::min<size_t>(length, kMaxReadLength));
  const size_t count = target_.read_memory(address, bytes);
  if (count == 0 && !bytes.empty()) return std::string(kBadAddress);
  return hex_encode({bytes.data(), count});
}

std::string GdbStub::write_memory(std::string_view arguments, bool binary) {
  uint32_t address = 0, length = 0;
  std::string_view rest;
  if (!parse_address_length(arguments, address, length, &rest) || rest.empty() || rest[0] != ':') {
    return std::string(kBadArguments);
  }
  const std::string_view data = rest.substr(1);
  std::vector<uint8_t> bytes;
  if (binary) {
    bytes.assign(data.begin(), data.end());
  } else if (auto decoded = hex_decode(data)) {
    bytes = std::move(*decoded);
  } else {
    return std::string(kBadArguments);
  }
  if (bytes.size() != length) return std::string(kBadArguments);
  if (target_.write_memory(address, bytes) != bytes.size()) return std::string(kBadAddress);
  return "OK";
}

std::string GdbStub::breakpoint(std::string_view arguments, bool add) {
  // Only software breakpoints (type 0); an empty reply tells the debugger the others are not here.
  if (!starts_with(arguments, "0,")) return "";
  uint32_t address = 0, kind = 0;
  if (!parse_address_length(arguments.substr(2), address, kind)) return std::string(kBadArguments);
  if (!add) {
    breakpoints_.remove(address);
    return "OK";
  }
  return breakpoints_.add(target_, address) ? "OK" : std::string(kBadAddress);
}

std::string GdbStub::read_register(std::string_view arguments) {
  const auto number = parse_hex_u32(arguments);
  const auto slot = number ? register_slot(static_cast<int>(*number)) : std::nullopt;
  if (!slot) return std::string(kBadArguments);
  const I386Registers registers = target_.read_registers();
  return hex_encode(register_bytes(registers).subspan(slot->offset, slot->size));
}

std::string GdbStub::write_register(std::string_view arguments) {
  const size_t equals = arguments.find('=');
  if (equals == std::string_view::npos) return std::string(kBadArguments);
  const auto number = parse_hex_u32(arguments.substr(0, equals));
  const auto slot = number ? register_slot(static_cast<int>(*number)) : std::nullopt;
  const auto value = hex_decode(arguments.substr(equals + 1));
  if (!slot || !value || value->size() != slot->size) return std::string(kBadArguments);
  I386Registers registers = target_.read_registers();
  std::copy(value->begin(), value->end(), register_bytes(registers).begin() + static_cast<ptrdiff_t>(slot->offset));
  target_.write_registers(registers);
  return "OK";
}

std::string GdbStub::write_all_registers(std::string_view hex) {
  const auto value = hex_decode(hex);
  if (!value || value->empty() || value->size() > sizeof(I386Registers)) return std::string(kBadArguments);
  // A shorter block sets the registers it covers, in order, and leaves the rest.
  I386Registers registers = target_.read_registers();
  std::copy(value->begin(), value->end(), register_bytes(registers).begin());
  target_.write_registers(registers);
  return "OK";
}

}  // namespace vornos::debug
