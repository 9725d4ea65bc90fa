// The trap loop on the test program: signals sent to it from outside.
#include <gtest/gtest.h>
#include <signal.h>

#include "process/tracee.h"
#include "subprocess.h"

namespace vornos::kernel {
namespace {

const std::vector<std::string> kReadsOneByte{testing::guest(), "status"};

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

}  // namespace
}  // namespace vornos::kernel
