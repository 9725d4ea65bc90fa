// The debugger protocol's framing: $payload#checksum packets, acknowledgements, the interrupt byte.
#include "debug/rsp_framing.h"

#include "debug/hex.h"

namespace vornos::debug {
namespace {

constexpr uint8_t kInterruptByte = 0x03;
constexpr char kEscape = '}';
constexpr uint8_t kEscapeXor = 0x20;

}  // namespace

void PacketReader::feed(std::span<const uint8_t> bytes, std::vector<FramingEvent>& events) {
  for (uint8_t byte : bytes) {
    switch (state_) {
      case State::kBetween:
        if (byte == '$') {
          state_ = State::kPayload;
          raw_.clear();
          overflow_ = false;
          sum_ = 0;
        } else if (byte == '+') {
          events.push_back({FramingEvent::Kind::kAck, {}});
        } else if (byte == '-') {
          events.push_back({FramingEvent::Kind::kNack, {}});
        } else if (byte == kInterruptByte) {
          events.push_back({FramingEvent::Kind::kInterrupt, {}});
        }
        break;
      case State::kPayload:
        if (byte == '#') {
          state_ = State::kChecksumHigh;
        } else if (byte == '$') {
          raw_.clear();
          overflow_ = false;
          sum_ = 0;
        } else {
          sum_ = static_cast<uint8_t>(sum_ + byte);
          if (raw_.size() < kMaxPayload) {
            raw_ += static_cast<char>(byte);
          } else {
            overflow_ = true;
          }
        }
        break;
      case State::kChecksumHigh:
        checksum_high_ = hex_digit_value(byte);
        state_ = State::kChecksumLow;
        break;
      case State::kChecksumLow:
        checksum_low_ = hex_digit_value(byte);
        state_ = State::kBetween;
        finish(events);
        break;
    }
  }
}

void PacketReader::finish(std::vector<FramingEvent>& events) {
  const bool checksum_ok = checksum_high_ >= 0 && checksum_low_ >= 0 && (checksum_high_ << 4 | checksum_low_) == sum_;
  std::string payload;
  if (!checksum_ok || overflow_ || !unescape_binary(raw_, payload)) {
    events.push_back({FramingEvent::Kind::kBadPacket, {}});
  } else {
    events.push_back({FramingEvent::Kind::kPacket, std::move(payload)});
  }
  raw_.clear();
}

std::string frame_packet(std::string_view payload) {
  std::string packet = "$";
  uint8_t sum = 0;
  const auto put = [&](char c) {
    packet += c;
    sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  };
  for (char c : payload) {
    if (c == '$' || c == '#' || c == kEscape || c == '*') {
      put(kEscape);
      put(static_cast<char>(c ^ kEscapeXor));
    } else {
      put(c);
    }
  }
  packet += '#';
  packet += hex_byte(sum);
  return packet;
}

bool unescape_binary(std::string_view escaped, std::string& bytes) {
  bytes.clear();
  bytes.reserve(escaped.size());
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] != kEscape) {
      bytes += escaped[i];
      continue;
    }
    if (++i == escaped.size()) return false;
    bytes += static_cast<char>(escaped[i] ^ kEscapeXor);
  }
  return true;
}

}  // namespace vornos::debug
