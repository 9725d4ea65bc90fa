// The debugger protocol's framing, hex text, register layout and signal numbers.
#include <gtest/gtest.h>

#include <csignal>

#include "debug/gdb_signals.h"
#include "debug/hex.h"
#include "debug/i386_registers.h"
#include "debug/rsp_framing.h"

namespace vornos::debug {
namespace {

using Kind = FramingEvent::Kind;

std::vector<FramingEvent> decode(const std::vector<std::string>& pieces) {
  PacketReader reader;
  std::vector<FramingEvent> events;
  for (const auto& piece : pieces) {
    reader.feed({reinterpret_cast<const uint8_t*>(piece.data()), piece.size()}, events);
  }
  return events;
}

TEST(PacketReader, DecodesTheDebuggersByteStream) {
  const struct {
    const char* what;
    std::vector<std::string> pieces;
    std::vector<FramingEvent> events;
  } cases[] = {
      {"a packet", {"$g#67"}, {{Kind::kPacket, "g"}}},
      {"upper-case checksum digits", {"$qC#B4"}, {{Kind::kPacket, "qC"}}},
      {"an empty packet", {"$#00"}, {{Kind::kPacket, ""}}},
      {"split anywhere", {"$m4", "00000,4", "#", "f", "1"}, {{Kind::kPacket, "m400000,4"}}},
      {"acks, a nack and the interrupt byte", {"+-\x03+"}, {{Kind::kAck, ""}, {Kind::kNack, ""}, {Kind::kInterrupt, ""}, {Kind::kAck, ""}}},
      {"noise between packets is dropped", {"xyz\n$g#67"}, {{Kind::kPacket, "g"}}},
      {"a wrong checksum", {"$g#68"}, {{Kind::kBadPacket, ""}}},
      {"a checksum that is no hex", {"$g#6z"}, {{Kind::kBadPacket, ""}}},
      {"a '$' inside a packet starts it anew", {"$gar$g#67"}, {{Kind::kPacket, "g"}}},
      {"escapes undone after the checksum of what was sent", {"$X0,1:}]#f9"}, {{Kind::kPacket, "X0,1:}"}}},
      {"an escape at the very end", {"$}#7d"}, {{Kind::kBadPacket, ""}}},
      {"two packets in one piece", {"$g#67$?#3f"}, {{Kind::kPacket, "g"}, {Kind::kPacket, "?"}}},
      {"0x03 inside a packet is data", {"$\x03#03"}, {{Kind::kPacket, "\x03"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.pieces), c.events) << c.what;
}

TEST(PacketReader, RefusesAPacketLongerThanItsSize) {
  std::string payload(PacketReader::kMaxPayload + 1, 'a');
  const std::string framed = frame_packet(payload);
  EXPECT_EQ(decode({framed}), (std::vector<FramingEvent>{{Kind::kBadPacket, ""}}));
  payload.pop_back();
  EXPECT_EQ(decode({frame_packet(payload)}), (std::vector<FramingEvent>{{Kind::kPacket, payload}}));
}

TEST(FramePacket, EscapesTheReservedBytesAndSumsWhatIsSent) {
  const struct {
    std::string payload;
    std::string framed;
  } cases[] = {
      {"", "$#00"},
      {"OK", "$OK#9a"},
      {"a$b", "$a}\x04" "b#44"},
      {"#}*", "$}\x03}]}\x0a#e1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(frame_packet(c.payload), c.framed) << c.payload;
    EXPECT_EQ(decode({c.framed}), (std::vector<FramingEvent>{{Kind::kPacket, c.payload}})) << "round trip of " << c.payload;
  }
}

TEST(Hex, EncodesDecodesAndParsesNumbers) {
  const uint8_t bytes[] = {0x00, 0x7f, 0xab, 0xff};
  EXPECT_EQ(hex_encode(bytes), "007fabff");
  EXPECT_EQ(hex_decode("007FabfF"), (std::vector<uint8_t>{0x00, 0x7f, 0xab, 0xff}));
  EXPECT_EQ(hex_decode("abc"), std::nullopt);
  EXPECT_EQ(hex_decode("zz"), std::nullopt);
  const struct {
    const char* text;
    std::optional<uint32_t> value;
  } numbers[] = {{"0", 0}, {"400000", 0x400000}, {"FFFFFFFF", 0xFFFFFFFFu}, {"100000000", std::nullopt},
                 {"", std::nullopt}, {"-1", std::nullopt}, {"1g", std::nullopt}};
  for (const auto& n : numbers) EXPECT_EQ(parse_hex_u32(n.text), n.value) << n.text;
  EXPECT_EQ(hex_u32(0), "0");
  EXPECT_EQ(hex_u32(0x4000), "4000");
}

TEST(I386Registers, SlotsFollowTheDebuggersNumbering) {
  const struct {
    int number;
    size_t offset, size;
  } slots[] = {{0, 0, 4}, {8, 32, 4}, {9, 36, 4}, {15, 60, 4}, {16, 64, 10}, {23, 134, 10},
               {24, 144, 4}, {31, 172, 4}, {32, 176, 16}, {39, 288, 16}, {40, 304, 4}};
  for (const auto& s : slots) {
    const auto slot = register_slot(s.number);
    ASSERT_TRUE(slot) << s.number;
    EXPECT_EQ(slot->offset, s.offset) << s.number;
    EXPECT_EQ(slot->size, s.size) << s.number;
  }
  EXPECT_FALSE(register_slot(41));
  EXPECT_FALSE(register_slot(-1));
}

TEST(GdbSignals, MapsLinuxNumbersToTheDebuggersAndBack) {
  const struct {
    int host, gdb;
  } cases[] = {{SIGSEGV, 11}, {SIGBUS, 10}, {SIGUSR1, 30}, {SIGCHLD, 20}, {SIGSYS, 12}};
  for (const auto& c : cases) {
    EXPECT_EQ(gdb_signal_from_host(c.host), c.gdb) << c.host;
    EXPECT_EQ(host_signal_from_gdb(c.gdb), c.host) << c.gdb;
  }
  EXPECT_EQ(gdb_signal_from_host(63), 143);
  EXPECT_EQ(host_signal_from_gdb(7), 0);  // the debugger's SIGEMT: Linux has none
}

}  // namespace
}  // namespace vornos::debug
