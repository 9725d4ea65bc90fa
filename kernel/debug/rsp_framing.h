// The debugger protocol's framing: $payload#checksum packets, acknowledgements, the interrupt byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vornos::debug {

// What a stream of bytes from the debugger holds, in order.
struct FramingEvent {
  enum class Kind {
    kPacket,       // a whole packet with a good checksum; `payload` unescaped
    kBadPacket,    // a packet whose checksum or escapes were wrong, or which was too long: ask again
    kAck,          // '+'
    kNack,         // '-': send the last packet again
    kInterrupt,    // 0x03 between packets: stop the program
  };
  Kind kind;
  std::string payload;
  bool operator==(const FramingEvent&) const = default;
};

// Decodes the debugger's bytes as they arrive, in pieces of any size. Bytes between packets
// other than '+', '-' and 0x03 are noise and dropped; a '$' inside a packet starts it anew,
// as the debugger does after giving up on one.
class PacketReader {
 public:
  // The longest payload accepted, escapes included; the stub announces it as its packet size.
  static constexpr size_t kMaxPayload = 0x4000;

  void feed(std::span<const uint8_t> bytes, std::vector<FramingEvent>& events);

 private:
  enum class State { kBetween, kPayload, kChecksumHigh, kChecksumLow };
  void finish(std::vector<FramingEvent>& events);

  State state_ = State::kBetween;
  std::string raw_;
  bool overflow_ = false;
  uint8_t sum_ = 0;
  int checksum_high_ = 0;
  int checksum_low_ = 0;
};

// The payload framed as a packet: the bytes the protocol reserves ('$', '#', '}', and '*', which
// would read as a repeat count) escaped as '}' and the byte xor 0x20, then '#' and the checksum.
std::string frame_packet(std::string_view payload);

// Undoes the escapes of binary data; false for a '}' at the end.
bool unescape_binary(std::string_view escaped, std::string& bytes);

}  // namespace vornos::debug
