// What a call waits for when it cannot complete yet, and how it completes when served again:
// time, the runner's own descriptors, pipes, a fifo's other side, a child's end.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>

#include "base/blocking.h"
#include "base/abi.h"
#include "vornos/abi/test_control.h"
#include "base/error_codes.h"
#include "calls/call_table.h"
#include "vfs/names.h"
#include "flat_memory.h"
#include "pipes/pipe.h"
#include "test_hooks/test_hooks.h"

namespace vornos::kernel {
namespace {

using Kind = WaitCondition::Kind;
using namespace std::chrono_literals;

struct HostPipe {
  HostPipe() { EXPECT_EQ(pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0); }
  ~HostPipe() { close(ends[0]), close(ends[1]); }
  int ends[2];
};

// The rest of the run as one program's calls see it: its children and whether it is alone.
class FakeRun final : public ProcessControl {
 public:
  bool can_run(std::span<const std::byte>) const override { return true; }
  int32_t start_child(std::span<const std::byte>, const std::vector<std::string>&, std::unique_ptr<ProcessFiles>) override {
    return kNotImplemented;
  }
  std::vector<Child> children() const override { return kids; }
  void reap(int32_t id) override { std::erase_if(kids, [id](const Child& child) { return child.id == id; }); }
  bool alone() const override { return is_alone; }
  void set_key_mode(bool) override {}

  std::vector<Child> kids;
  bool is_alone = true;
};

// A volume with an empty root, where the fifos of these tests live.
class EmptyVolume final : public FileSystem {
 public:
  int32_t repair_dirents(std::string_view) override { return 0; }
  int32_t lookup(std::string_view path, NodeInfo& node) override {
    if (path != "/") return kNoSuchFile;
    node = {{}, true, 0, "/"};
    return 0;
  }
  int32_t open(std::string_view, const OpenRequest&, NodeInfo&) override { return kNoSuchFile; }
};

class Waits : public ::testing::Test {
 protected:
  // A program's context: its own descriptors, the shared names, the fake run.
  std::unique_ptr<CallContext> program(ProcessFiles& files) {
    auto context = std::make_unique<CallContext>(files, memory, &volume, names);
    context->programs = &run;
    return context;
  }
  // The descriptors of a pipe in `files`: read end, write end.
  std::pair<int32_t, int32_t> add_pipe(ProcessFiles& files) {
    auto shared = std::make_shared<Pipe>();
    return {files.descriptors.add(std::make_shared<PipeEnd>(shared, PipeEnd::Side::read)),
            files.descriptors.add(std::make_shared<PipeEnd>(shared, PipeEnd::Side::write))};
  }
  static std::optional<Kind> waits_on(const CallOutcome& outcome) {
    return outcome.wait ? std::optional(outcome.wait->kind()) : std::nullopt;
  }

  test::FlatMemory memory{0x40000};
  EmptyVolume volume;
  Names names{&volume};
  FakeRun run;
  ProcessFiles files;
  std::unique_ptr<CallContext> context = program(files);
};

TEST_F(Waits, UsleepWaitsForItsTimeAndKeepsItAcrossAttempts) {
  const Clock::time_point before = Clock::now();
  const CallOutcome first = serve_call(*context, {call::usleep, {200000}});
  ASSERT_EQ(waits_on(first), Kind::time);
  const Clock::time_point deadline = *first.wait->deadline();
  EXPECT_GE(deadline, before + 200ms);
  EXPECT_LE(deadline, Clock::now() + 200ms);
  const CallOutcome again = serve_again(*context);
  ASSERT_EQ(waits_on(again), Kind::time);
  EXPECT_EQ(*again.wait->deadline(), deadline);
  std::this_thread::sleep_until(deadline);
  const CallOutcome done = serve_again(*context);
  EXPECT_FALSE(done.wait);
  EXPECT_EQ(done.result, 0);
  EXPECT_FALSE(serve_call(*context, {call::usleep, {0}}).wait);
}

TEST_F(Waits, AReadOfAnEmptyPipeWaitsWhileAWriterExists) {
  const auto [in, out] = add_pipe(files);
  const uint32_t buffer = test::FlatMemory::kBase;
  EXPECT_EQ(waits_on(serve_call(*context, {call::read, {static_cast<uint32_t>(in), buffer, 10}})), Kind::pipe);
  EXPECT_EQ(waits_on(serve_again(*context)), Kind::pipe);
  // Another program writes: the read completes with what is there.
  ProcessFiles writer;
  writer.descriptors.install(3, files.descriptors.share(out));
  auto other = program(writer);
  const uint32_t text = memory.put(0x1000, "hello");
  EXPECT_EQ(serve_call(*other, {call::write, {3, text, 5}}).result, 5);
  const CallOutcome done = serve_again(*context);
  EXPECT_FALSE(done.wait);
  EXPECT_EQ(done.result, 5);
  EXPECT_EQ(memory.peek(buffer, 5), "hello");
  // Non-blocking, the empty pipe answers -11; with no writer left, 0.
  EXPECT_EQ(serve_call(*context, {call::fd_set_nonblock, {static_cast<uint32_t>(in), 1}}).result, 0);
  EXPECT_EQ(serve_call(*context, {call::read, {static_cast<uint32_t>(in), buffer, 10}}).result, kTryAgain);
  files.descriptors.close(out);
  writer.descriptors.close(3);
  EXPECT_EQ(serve_call(*context, {call::read, {static_cast<uint32_t>(in), buffer, 10}}).result, 0);
}

// A blocking write to a pipe puts in what fits and waits for room for the rest; the answer
// counts every byte, also when the reader goes before the end.
TEST_F(Waits, AWriteToAFullPipeWaitsForRoomAndCountsEveryByte) {
  const auto [in, out] = add_pipe(files);
  constexpr uint32_t kCount = Pipe::kCapacity + 1000;
  test::FlatMemory big{kCount + 16};
  CallContext writer(files, big, &volume, names);
  writer.programs = &run;
  const CallArgs write_all{static_cast<uint32_t>(out), test::FlatMemory::kBase, kCount};
  EXPECT_EQ(waits_on(serve_call(writer, {call::write, write_all})), Kind::pipe);
  EXPECT_EQ(waits_on(serve_again(writer)), Kind::pipe);
  const uint32_t buffer = test::FlatMemory::kBase;
  EXPECT_EQ(serve_call(*context, {call::read, {static_cast<uint32_t>(in), buffer, 600}}).result, 600);
  EXPECT_EQ(waits_on(serve_again(writer)), Kind::pipe);  // 600 more went in; 400 are left
  EXPECT_EQ(serve_call(*context, {call::read, {static_cast<uint32_t>(in), buffer, 1000}}).result, 1000);
  const CallOutcome done = serve_again(writer);
  EXPECT_FALSE(done.wait);
  EXPECT_EQ(done.result, static_cast<int32_t>(kCount));

  // The reader goes while the writer waits: the bytes already in are the answer.
  EXPECT_EQ(waits_on(serve_call(writer, {call::write, write_all})), Kind::pipe);  // 600 fit
  files.descriptors.close(in);
  EXPECT_EQ(serve_again(writer).result, 600);
  EXPECT_EQ(serve_call(writer, {call::write, write_all}).result, kBrokenPipe);
}

// Each side of a fifo waits for the other, whichever comes first; a wait that began goes on
// with its pipe even when the name goes meanwhile.
TEST_F(Waits, AFifoOpenWaitsForTheOtherSide) {
  const uint32_t path = memory.put(0, "/chan");
  ASSERT_EQ(names.make_fifo("/chan", std::make_shared<Pipe>()), 0);
  ProcessFiles other_files;
  auto other = program(other_files);
  EXPECT_EQ(waits_on(serve_call(*context, {call::open, {path, 0}})), Kind::fifo_partner);
  EXPECT_EQ(waits_on(serve_again(*context)), Kind::fifo_partner);
  ASSERT_TRUE(names.remove_fifo("/chan"));
  EXPECT_EQ(waits_on(serve_again(*context)), Kind::fifo_partner);
  // The writer's side was never opened by that name now: it cannot be found.
  EXPECT_EQ(serve_call(*other, {call::open, {path, 1}}).result, kNoSuchFile);
  ASSERT_EQ(names.make_fifo("/chan", std::make_shared<Pipe>()), 0);
  EXPECT_EQ(waits_on(serve_call(*other, {call::open, {path, 1}})), Kind::fifo_partner);
  ProcessFiles third_files;
  auto third = program(third_files);
  EXPECT_EQ(serve_call(*third, {call::open, {path, 0}}).result, DescriptorTable::kFirstOpened);
  EXPECT_EQ(serve_again(*other).result, DescriptorTable::kFirstOpened);
  EXPECT_EQ(waits_on(serve_again(*context)), Kind::fifo_partner);
  EXPECT_EQ(serve_call(*other, {call::open, {path, 2}}).result, kInvalidArgument);
}

TEST_F(Waits, WaitpidWaitsForAChildsEnd) {
  const uint32_t status = test::FlatMemory::kBase + 0x100;
  const struct {
    std::vector<ProcessControl::Child> kids;
    CallArgs args;
    int32_t result;
    std::optional<Kind> waits;
  } cases[] = {
      {{}, {0xFFFFFFFF, 0, 0}, -10, std::nullopt},
      {{{2, false, 0}}, {0xFFFFFFFF, 0, 0}, 0, Kind::child_end},
      {{{2, false, 0}}, {0xFFFFFFFF, 0, 1}, 0, std::nullopt},
      {{{2, false, 0}, {3, true, 7}}, {2, 0, 0}, 0, Kind::child_end},
      {{{2, false, 0}, {3, true, 7}}, {0xFFFFFFFF, status, 0}, 3, std::nullopt},
      {{{2, false, 0}}, {4, 0, 0}, -10, std::nullopt},
      {{{2, false, 0}}, {0, 0, 0}, kInvalidArgument, std::nullopt},
      {{{2, false, 0}}, {2, 0, 2}, kInvalidArgument, std::nullopt},
  };
  for (const auto& c : cases) {
    run.kids = c.kids;
    const CallOutcome outcome = serve_call(*context, {call::waitpid, c.args});
    EXPECT_EQ(waits_on(outcome), c.waits) << c.args[0];
    EXPECT_EQ(outcome.result, c.result) << c.args[0];
  }
  EXPECT_EQ(memory.peek(status, 4), std::string("\x07\0\0\0", 4));
  EXPECT_EQ(run.kids.size(), 1u);  // the ended child was let go
  // The child ends while its parent waits: the wait completes.
  run.kids = {{2, false, 0}};
  ASSERT_EQ(waits_on(serve_call(*context, {call::waitpid, {2, 0, 0}})), Kind::child_end);
  run.kids = {{2, true, 1}};
  EXPECT_EQ(serve_again(*context).result, 2);
}

// The runner's own input or output: a program beside others waits in the loop until it is
// ready (non-blocking: -11); alone it is served at once.
TEST_F(Waits, TheRunnersOwnDescriptorsAreWaitedOnBesideOthers) {
  HostPipe input;
  HostInput device(input.ends[0]);
  ProcessFiles own{device, device};
  auto reader = program(own);
  const CallArgs read_some{0, test::FlatMemory::kBase, 8};
  run.is_alone = false;
  const CallOutcome waiting = serve_call(*reader, {call::read, read_some});
  ASSERT_EQ(waits_on(waiting), Kind::runner_descriptor);
  EXPECT_EQ(waiting.wait->watched()->fd, input.ends[0]);
  EXPECT_EQ(waiting.wait->watched()->events, POLLIN);
  EXPECT_EQ(serve_call(*reader, {call::fd_set_nonblock, {0, 1}}).result, 0);
  EXPECT_EQ(serve_call(*reader, {call::read, read_some}).result, kTryAgain);
  ASSERT_EQ(write(input.ends[1], "key", 3), 3);
  EXPECT_EQ(serve_call(*reader, {call::read, read_some}).result, 3);
  run.is_alone = true;
  EXPECT_EQ(serve_call(*reader, {call::fd_set_nonblock, {0, 0}}).result, 0);
  ASSERT_EQ(write(input.ends[1], "more", 4), 4);
  EXPECT_EQ(serve_call(*reader, {call::read, read_some}).result, 4);
}

// The test hooks see a call once, when it is made, not again while it waits; a scripted short
// write lowers the count of the write that is then served.
TEST_F(Waits, TheHooksSeeAWaitingCallOnce) {
  TestHooks hooks;
  context->hooks = &hooks;
  const auto [in, out] = add_pipe(files);
  using namespace test_control;
  EXPECT_EQ(serve_call(*context, {kCallNumber, {static_cast<uint32_t>(Op::record_start)}}).result, 0);
  EXPECT_EQ(waits_on(serve_call(*context, {call::read, {static_cast<uint32_t>(in), test::FlatMemory::kBase, 4}})), Kind::pipe);
  EXPECT_EQ(waits_on(serve_again(*context)), Kind::pipe);
  EXPECT_EQ(waits_on(serve_again(*context)), Kind::pipe);
  const uint32_t records = test::FlatMemory::kBase + 0x1000;
  EXPECT_EQ(serve_call(*context, {kCallNumber, {static_cast<uint32_t>(Op::record_stop), records, 8}}).result, 1);

  const ScriptedAnswer short_write{call::write, AnswerKind::short_write, 3, 0, 0};
  memory.write(test::FlatMemory::kBase + 0x2000, std::as_bytes(std::span(&short_write, 1)));
  EXPECT_EQ(serve_call(*context, {kCallNumber, {static_cast<uint32_t>(Op::script), test::FlatMemory::kBase + 0x2000}}).result, 0);
  const uint32_t text = memory.put(0x3000, "abcdef");
  EXPECT_EQ(serve_call(*context, {call::write, {static_cast<uint32_t>(out), text, 6}}).result, 3);
  EXPECT_EQ(serve_call(*context, {call::read, {static_cast<uint32_t>(in), test::FlatMemory::kBase, 8}}).result, 3);
  EXPECT_EQ(memory.peek(test::FlatMemory::kBase, 3), "abc");
}

}  // namespace
}  // namespace vornos::kernel
