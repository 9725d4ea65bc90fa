// The debugger's remote protocol engine against a make-believe program.
#include <gtest/gtest.h>

#include <csignal>

#include "debug/gdb_stub.h"
#include "debug/hex.h"
#include "debug/rsp_framing.h"
#include "fake_target.h"

namespace vornos::debug {
namespace {

using testing::FakeTarget;
using testing::ScriptedConnection;
constexpr uint32_t kBase = FakeTarget::kBase;

std::string le32(uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return hex_encode(bytes);
}

std::string stop_at(const char* signal, uint32_t eip, uint32_t esp, const char* extra = "") {
  return std::string("T") + signal + extra + "thread:1;08:" + le32(eip) + ";04:" + le32(esp) + ";05:" + le32(0) + ";";
}

constexpr uint32_t kStack = kBase + 0xF00;

// A program: nop, kernel call, nop, kernel call, nop, hlt (exit with ebx).
std::vector<uint8_t> two_calls() {
  return {FakeTarget::kNop, FakeTarget::kCall, 0x80, FakeTarget::kNop, FakeTarget::kCall, 0x80, FakeTarget::kNop,
          FakeTarget::kHalt};
}

class Stub : public ::testing::Test {
 protected:
  explicit Stub(std::vector<uint8_t> code = two_calls()) : target(std::move(code)), stub(target, connection) {
    stub.handle_packet("qSupported:multiprocess+;swbreak+;hwbreak+");
  }
  std::string ask(std::string_view packet) { return stub.handle_packet(packet).value_or("<no reply>"); }
  struct Exchange {
    const char* packet;
    const char* reply;
  };
  void expect_replies(std::initializer_list<Exchange> exchanges) {
    for (const Exchange& e : exchanges) EXPECT_EQ(ask(e.packet), e.reply) << e.packet;
  }

  FakeTarget target;
  ScriptedConnection connection;
  GdbStub stub;
};

TEST_F(Stub, AnswersQueriesAsAnI386Target) {
  expect_replies({
      {"qSupported:swbreak+", "PacketSize=4000;qXfer:features:read+;swbreak+;vContSupported+;QStartNoAckMode+"},
      {"vCont?", "vCont;c;C;s;S"},
      {"qC", "QC1"},
      {"qfThreadInfo", "m1"},
      {"qsThreadInfo", "l"},
      {"qAttached", "0"},
      {"Hg0", "OK"},
      {"qSymbol::", "OK"},
      {"qXfer:features:read:other.xml:0,100", "E00"},
      {"vMustReplyEmpty", ""},
      {"Z2,400000,4", ""},  // watchpoints are not offered
  });
}

TEST_F(Stub, HandsOutTheTargetDescriptionInPieces) {
  std::string whole;
  for (uint32_t offset = 0;;) {
    const std::string reply = ask("qXfer:features:read:target.xml:" + hex_u32(offset) + ",200");
    ASSERT_FALSE(reply.empty());
    ASSERT_TRUE(reply[0] == 'm' || reply[0] == 'l') << reply;
    whole += reply.substr(1);
    offset += static_cast<uint32_t>(reply.size() - 1);
    if (reply[0] == 'l') break;
    ASSERT_EQ(reply.size(), 0x201u);
  }
  EXPECT_EQ(whole, i386_target_description());
  EXPECT_EQ(ask("qXfer:features:read:target.xml:fffff,10"), "l");
}

TEST_F(Stub, ReadsAndWritesRegisters) {
  I386Registers registers = target.read_registers();
  registers.eax = 0x11223344;
  registers.xmm[7][15] = 0xAB;
  target.write_registers(registers);
  const std::string all = ask("g");
  ASSERT_EQ(all.size(), 2 * sizeof(I386Registers));
  EXPECT_EQ(all.substr(0, 8), "44332211");
  EXPECT_EQ(ask("p8"), le32(kBase));
  EXPECT_EQ(ask("p27").substr(30), "ab") << "xmm7's last byte";
  EXPECT_EQ(ask("P3=78563412"), "OK");
  EXPECT_EQ(target.read_registers().ebx, 0x12345678u);
  EXPECT_EQ(ask("P3=7856"), "E01") << "a value of the wrong size";
  EXPECT_EQ(ask("p29"), "E01") << "register 41 does not exist";
  EXPECT_EQ(ask("P29=00000000"), "E01");
  // G with the block read before, but eax changed: the rest must come back as it was.
  std::string changed = ask("g");
  changed.replace(0, 8, "01000000");
  EXPECT_EQ(ask("G" + changed), "OK");
  EXPECT_EQ(target.read_registers().eax, 1u);
  EXPECT_EQ(target.read_registers().ebx, 0x12345678u);
  EXPECT_EQ(target.read_registers().xmm[7][15], 0xAB);
  EXPECT_EQ(ask("G" + changed + "00"), "E01") << "longer than the register file";
  EXPECT_EQ(ask("Gxyz0"), "E01");
}

TEST_F(Stub, ReadsAndWritesMemory) {
  expect_replies({
      {"m400000,3", "90cd80"},
      {"m400ffe,4", "0000"},  // a read that runs off the end answers what was readable
      {"m500000,4", "E0e"},
      {"m400000,0", ""},
      {"m400000", "E01"},
      {"M400100,2:beef", "OK"},
      {"m400100,2", "beef"},
      {"M400100,2:be", "E01"},  // fewer bytes than the length says
      {"M400ffe,4:01020304", "E0e"},
      {"X400200,0:", "OK"},  // the debugger's probe for binary writes
      {"X400200,3:a#}", "OK"},
      {"m400200,3", "61237d"},
      {"Mzz,1:00", "E01"},
  });
}

TEST_F(Stub, StepsOneInstructionAndServesAKernelCallOnce) {
  EXPECT_EQ(ask("vCont;s:1"), stop_at("05", kBase + 1, kStack));
  EXPECT_EQ(ask("vCont;s:1"), stop_at("05", kBase + 3, kStack)) << "the kernel call is one instruction";
  EXPECT_EQ(target.calls, std::vector<uint32_t>{kBase + 1});
  EXPECT_EQ(ask("s"), stop_at("05", kBase + 4, kStack));
  EXPECT_EQ(ask("c"), "W00");
  EXPECT_EQ(target.calls, (std::vector<uint32_t>{kBase + 1, kBase + 4}));
  EXPECT_EQ(ask("?"), "W00") << "the end is the stop the debugger asks about";
  EXPECT_EQ(ask("g"), "E01") << "no registers once it ended";
  EXPECT_EQ(ask("c"), "E01");
}

TEST_F(Stub, StopsAtABreakpointThatMemoryReadsNeverShow) {
  EXPECT_EQ(ask("Z0,400004,1"), "OK");
  EXPECT_EQ(ask("Z0,400004,1"), "OK") << "set twice";
  EXPECT_EQ(ask("m400004,1"), "cd");
  EXPECT_EQ(ask("vCont;c"), stop_at("05", kBase + 4, kStack, "swbreak:;"));
  EXPECT_EQ(target.int3_at, std::vector<uint32_t>{kBase + 4}) << "the program ran into the int3";
  EXPECT_EQ(target.calls, std::vector<uint32_t>{kBase + 1}) << "the call under the breakpoint has not run";
  EXPECT_EQ(ask("m400000,8"), "90cd8090cd8090f4") << "the code as it was";
  // Continuing from the breakpoint runs the call under it once, then on to the end.
  target.write_registers([&] { auto r = target.read_registers(); r.ebx = 3; return r; }());
  EXPECT_EQ(ask("vCont;c"), "W03");
  EXPECT_EQ(target.calls, (std::vector<uint32_t>{kBase + 1, kBase + 4}));
  EXPECT_EQ(target.steps, std::vector<uint32_t>{kBase + 4}) << "stepped off the breakpoint first";
  EXPECT_EQ(target.byte(kBase + 4), FakeTarget::kCall);
}

TEST_F(Stub, RemovedBreakpointsNoLongerStop) {
  EXPECT_EQ(ask("Z0,400003,1"), "OK");
  EXPECT_EQ(ask("z0,400003,1"), "OK");
  EXPECT_EQ(ask("Z0,500000,1"), "E0e") << "a breakpoint where no memory is";
  EXPECT_EQ(ask("c"), "W00");
  EXPECT_TRUE(target.int3_at.empty());
}

TEST_F(Stub, LeavesEipPastTheInt3ForADebuggerWithoutSwbreak) {
  stub.handle_packet("qSupported:multiprocess+");
  EXPECT_EQ(ask("Z0,400003,1"), "OK");
  EXPECT_EQ(ask("c"), stop_at("05", kBase + 4, kStack));
}

TEST_F(Stub, ReportsASignalThenTheDeathItDeliversAsTheDebuggersNumbers) {
  target.byte(kBase + 3) = FakeTarget::kFault;
  EXPECT_EQ(ask("vCont;c"), stop_at("0b", kBase + 3, kStack));
  EXPECT_EQ(ask("vCont;C0b:1"), "X0b");
  EXPECT_EQ(ask("?"), "X0b");
}

TEST_F(Stub, DeliversTheSignalTheDebuggerNames) {
  EXPECT_EQ(ask("C0a"), "X0a") << "the debugger's SIGBUS (10) is Linux's 7, and back";
  EXPECT_EQ(*stub.program_end(), (StopEvent{StopEvent::Kind::kKilled, SIGBUS}));
}

TEST_F(Stub, AnExplicitInt3InTheProgramIsATrapWithoutSwbreakAndKillHasNoReply) {
  target.byte(kBase + 3) = FakeTarget::kInt3;
  EXPECT_EQ(ask("c"), stop_at("05", kBase + 4, kStack));
  EXPECT_EQ(stub.handle_packet("k"), std::nullopt);
  EXPECT_TRUE(target.killed);
}

// The whole session through serve(): acknowledgements, retransmission, the interrupt.
class Session : public Stub {
 protected:
  Session() : Stub({FakeTarget::kNop, FakeTarget::kWaitingCall, 0x80, FakeTarget::kJump, 0xFB}) {}
  void say(std::string_view payload, int after_polls = 0) { connection.add(frame_packet(payload), after_polls); }
};

TEST_F(Session, AcknowledgesRetransmitsAndStopsAcknowledgingWhenAsked) {
  say("?");
  connection.add("+$g#00");  // a bad checksum: asked again
  connection.add("-");      // the debugger asks for the last reply again
  say("QStartNoAckMode");
  connection.add("+");
  say("qC");
  say("D");
  EXPECT_EQ(stub.serve(), SessionEnd::kDetached);
  const std::string stop = frame_packet(stop_at("05", kBase, kStack));
  EXPECT_EQ(connection.sent, "+" + stop + "-" + stop + "+" + frame_packet("OK") + frame_packet("QC1") + frame_packet("OK"));
}

TEST_F(Session, AnInterruptStopsAProgramThatWaitsInAKernelCall) {
  target.wait_rounds = 1000000;
  connection.add("+");
  say("vCont;c");
  connection.add("\x03", 5);
  say("k");
  EXPECT_EQ(stub.serve(), SessionEnd::kKilled);
  EXPECT_EQ(target.interrupts, 1);
  EXPECT_TRUE(target.calls.empty()) << "the waiting call was neither served nor lost";
  EXPECT_NE(connection.sent.find(frame_packet(stop_at("02", kBase + 1, kStack))), std::string::npos) << connection.sent;
  EXPECT_TRUE(target.killed);
}

TEST_F(Session, AnInterruptStopsAProgramBetweenKernelCalls) {
  connection.add("+");
  say("vCont;c");
  connection.add("\x03", 3);
  say("D");
  EXPECT_EQ(stub.serve(), SessionEnd::kDetached);
  EXPECT_EQ(target.interrupts, 1);
  EXPECT_EQ(target.calls.size(), 3u) << "one served before each look for the interrupt";
}

TEST_F(Session, ADebuggerThatGoesAwayWhileTheProgramRunsLeavesItRunningWithoutBreakpoints) {
  target.wait_rounds = 0;
  say("Z0,400003,1");
  connection.add("+");
  target.byte(kBase + 3) = FakeTarget::kNop;  // the loop becomes: nop, call, nop, nop... off the end
  say("vCont;c");
  connection.gone_when_empty_while_running = true;
  EXPECT_EQ(stub.serve(), SessionEnd::kDetached);
  EXPECT_EQ(target.byte(kBase + 3), FakeTarget::kNop) << "the code put back";
}

TEST_F(Session, TheProgramsEndIsReportedAndTheSessionEndsWhenTheDebuggerCloses) {
  target.byte(kBase + 3) = FakeTarget::kHalt;
  target.write_registers([&] { auto r = target.read_registers(); r.ebx = 0x102; return r; }());
  say("vCont;c");
  EXPECT_EQ(stub.serve(), SessionEnd::kProgramEnded);
  EXPECT_NE(connection.sent.find(frame_packet("W02")), std::string::npos) << "the status as a program's exit keeps it";
}

}  // namespace
}  // namespace vornos::debug
