// The trap loop on the test program: the first call, answers, signals from outside.
#include <gtest/gtest.h>
#include <signal.h>

#include "calls/call_numbers.h"
#include "process/guest_memory.h"
#include "process/host_failure.h"
#include "process/tracee.h"
#include "subprocess.h"

namespace vornos::kernel {
namespace {

const std::vector<std::string> kReadsOneByte{testing::guest(), "status"};

TEST(Tracee, StopsAtEachCallAndDeliversTheAnswer) {
  Tracee tracee(kReadsOneByte[0], kReadsOneByte);
  const TrapEvent read = tracee.next_trap();
  ASSERT_EQ(read.kind, TrapEvent::Kind::call);
  EXPECT_EQ(read.call.number, uint32_t{call::read});
  EXPECT_EQ(read.call.args[2], 1u);
  ProcessMemory memory(tracee.pid());
  ASSERT_EQ(memory.write(read.call.args[1], std::as_bytes(std::span("A", 1))), 0);
  tracee.answer(1);
  const TrapEvent exit = tracee.next_trap();
  EXPECT_EQ(exit.call.number, uint32_t{call::exit});
  EXPECT_EQ(exit.call.args[0], uint32_t{'A'});
  tracee.kill();
  tracee.kill();  // a second end is harmless
}

// Signals from outside while the program waits in a call: those whose default is to
// ignore change nothing; the others end it, with the address where it was when seen.
TEST(Tracee, SignalsTakeTheirDefaultCourse) {
  for (const auto& [signals, ended_by] : {std::pair{std::vector{SIGCHLD, SIGWINCH, SIGURG, SIGCONT}, 0},
                                         {std::vector{SIGTERM}, SIGTERM}, {std::vector{SIGKILL}, SIGKILL}}) {
    Tracee tracee(kReadsOneByte[0], kReadsOneByte);
    ASSERT_EQ(tracee.next_trap().kind, TrapEvent::Kind::call);
    for (int signal : signals) ASSERT_EQ(::kill(tracee.pid(), signal), 0);
    tracee.answer(0);
    const TrapEvent next = tracee.next_trap();
    EXPECT_EQ(next.kind, ended_by == 0 ? TrapEvent::Kind::call : TrapEvent::Kind::killed);
    EXPECT_EQ(next.signal, ended_by);
    EXPECT_EQ(next.have_eip, ended_by == SIGTERM);
  }
}

TEST(Tracee, AFileLinuxWillNotExecuteIsAnExecFailure) {
  EXPECT_THROW(Tracee("/nonexistent/program", {"/nonexistent/program"}), ExecFailure);
}

}  // namespace
}  // namespace vornos::kernel
