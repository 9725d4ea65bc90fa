// Fuzz target: the input is what a debugger sends, in pieces, to a stub over a make-believe
// program. Whatever arrives, nothing may crash or hang, everything the stub sends must decode as
// acknowledgements and well-formed packets, and the code must be as it was at every stop
// unless the debugger itself wrote to memory.
#include <cstdlib>
#include <vector>

#include "debug/gdb_stub.h"
#include "debug/rsp_framing.h"
#include "fake_target.h"

using namespace vornos::debug;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> code = {testing::FakeTarget::kNop,  testing::FakeTarget::kCall,  0x80,
                                     testing::FakeTarget::kWaitingCall, 0x80, testing::FakeTarget::kFault,
                                     testing::FakeTarget::kJump, 0xF8, testing::FakeTarget::kHalt};
  testing::FakeTarget target(code);
  target.wait_rounds = 3;
  testing::ScriptedConnection connection;
  // A script that has run out ends the session, so that a program looping without end cannot hang it.
  connection.gone_when_empty_while_running = true;
  // The first byte of each piece says its length, so that the fuzzer chooses how the stream is cut.
  for (size_t at = 0; at < size;) {
    const size_t length = std::min<size_t>(data[at] % 64 + 1, size - at - 1);
    connection.add(std::string(reinterpret_cast<const char*>(data) + at + 1, length), data[at] / 64);
    at += length + 1;
  }
  GdbStub stub(target, connection);
  stub.serve();

  PacketReader reader;
  std::vector<FramingEvent> events;
  reader.feed({reinterpret_cast<const uint8_t*>(connection.sent.data()), connection.sent.size()}, events);
  for (const auto& event : events) {
    if (event.kind == FramingEvent::Kind::kBadPacket || event.kind == FramingEvent::Kind::kInterrupt) std::abort();
  }
  bool wrote_memory = false;
  for (size_t i = 0; i + 1 < size; ++i) wrote_memory |= data[i] == 'M' || data[i] == 'X';
  if (!wrote_memory) {
    for (size_t i = 0; i < code.size(); ++i) {
      if (target.byte(testing::FakeTarget::kBase + static_cast<uint32_t>(i)) != code[i]) std::abort();
    }
  }
  return 0;
}
