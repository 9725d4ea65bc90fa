// The trap loop on real programs: first call, answers, signals that are ignored or fatal.
#include <elf.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>

#include "calls/error_codes.h"
#include "guests.h"
#include "process/guest_memory.h"
#include "process/host_failure.h"
#include "process/tracee.h"
#include "calls/call_numbers.h"

namespace vornos::kernel {
namespace {

using testing::guest;

uint32_t entry_point(const std::string& path) {
  Elf32_Ehdr header{};
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(&header), sizeof header);
  return header.e_entry;
}

TEST(Tracee, StopsAtTheFirstCallWithItsRegisters) {
  const std::string program = guest("wait_for_input");
  Tracee tracee(program, {program});
  const TrapEvent first = tracee.next_trap();
  ASSERT_EQ(first.kind, TrapEvent::Kind::call);
  EXPECT_EQ(first.call.number, uint32_t{call::read});
  EXPECT_EQ(first.call.args[0], 0u);
  EXPECT_GE(first.call.args[1], 0x400000u);
  EXPECT_EQ(first.call.args[2], 1u);

  // The answer and the memory written reach the program: it exits with the byte it read.
  ProcessMemory memory(tracee.pid());
  const std::byte letter[1]{std::byte{'A'}};
  ASSERT_EQ(memory.write(first.call.args[1], letter), 0);
  tracee.answer(1);
  const TrapEvent exit = tracee.next_trap();
  ASSERT_EQ(exit.kind, TrapEvent::Kind::call);
  EXPECT_EQ(exit.call.number, uint32_t{call::exit});
  EXPECT_EQ(exit.call.args[0], uint32_t{'A'});
  tracee.kill();
  tracee.kill();  // a second end is harmless
}

TEST(Tracee, SignalsWhoseDefaultIsToIgnoreDoNotEndTheProgram) {
  const std::string program = guest("wait_for_input");
  Tracee tracee(program, {program});
  ASSERT_EQ(tracee.next_trap().kind, TrapEvent::Kind::call);
  for (int signal : {SIGCHLD, SIGWINCH, SIGURG, SIGCONT}) ASSERT_EQ(::kill(tracee.pid(), signal), 0);
  tracee.answer(0);
  const TrapEvent next = tracee.next_trap();
  ASSERT_EQ(next.kind, TrapEvent::Kind::call);
  EXPECT_EQ(next.call.number, uint32_t{call::exit});
}

TEST(Tracee, AFatalSignalEndsTheProgramAndShowsWhereItWas) {
  const std::string program = guest("wait_for_input");
  Tracee tracee(program, {program});
  ASSERT_EQ(tracee.next_trap().kind, TrapEvent::Kind::call);
  ASSERT_EQ(::kill(tracee.pid(), SIGTERM), 0);
  tracee.answer(0);
  const TrapEvent end = tracee.next_trap();
  ASSERT_EQ(end.kind, TrapEvent::Kind::killed);
  EXPECT_EQ(end.signal, SIGTERM);
  EXPECT_TRUE(end.have_eip);
  EXPECT_GT(end.eip, entry_point(program)) << "stopped after its first instruction";
  EXPECT_LT(end.eip, entry_point(program) + 0x100);
}

TEST(Tracee, AFaultReportsTheFaultingInstruction) {
  const std::string program = guest("segv");
  Tracee tracee(program, {program});
  const TrapEvent end = tracee.next_trap();
  ASSERT_EQ(end.kind, TrapEvent::Kind::killed);
  EXPECT_EQ(end.signal, SIGSEGV);
  ASSERT_TRUE(end.have_eip);
  EXPECT_EQ(end.eip, entry_point(program));
}

TEST(Tracee, AKillFromOutsideDuringACallIsTheProgramsEndNotTheRunners) {
  const std::string program = guest("wait_for_input");
  Tracee tracee(program, {program});
  ASSERT_EQ(tracee.next_trap().kind, TrapEvent::Kind::call);
  ASSERT_EQ(::kill(tracee.pid(), SIGKILL), 0);
  tracee.answer(0);
  const TrapEvent end = tracee.next_trap();
  ASSERT_EQ(end.kind, TrapEvent::Kind::killed);
  EXPECT_EQ(end.signal, SIGKILL);
  EXPECT_FALSE(end.have_eip);
}

TEST(Tracee, AProgramThatCannotBeExecutedIsAnExecFailure) {
  try {
    Tracee tracee("/nonexistent/program", {"/nonexistent/program"});
    FAIL() << "no exception";
  } catch (const ExecFailure& failure) {
    EXPECT_EQ(failure.host_errno(), ENOENT);
    EXPECT_STREQ(failure.what(), "execve /nonexistent/program: No such file or directory");
  }
}

}  // namespace
}  // namespace vornos::kernel
