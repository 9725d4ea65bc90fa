// The descriptor table (numbering, sharing by dup and dup2, closing, the limit, the end of a
// process) and the host devices behind the standard descriptors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "vfs/descriptors.h"

namespace vornos::kernel {
namespace {

constexpr int32_t kBadDescriptor = -9;
constexpr int32_t kTooManyOpenFiles = -24;

// An open file that only says which one it is; a weak_ptr to it tells whether the table still
// keeps the description alive.
class Tagged final : public OpenFile {
 public:
  int32_t read(std::span<std::byte>) override { return 0; }
  int32_t write(std::span<const std::byte>) override { return 0; }
};

struct Table {
  // Opens a new description at the lowest free number from `lowest` and keeps a watch on it.
  int32_t open(int32_t lowest = DescriptorTable::kFirstOpened) {
    auto file = std::make_shared<Tagged>();
    watched.push_back(file);
    return table.add(std::move(file), lowest);
  }
  bool alive(size_t opened) const { return !watched.at(opened).expired(); }
  DescriptorTable table;
  std::vector<std::weak_ptr<OpenFile>> watched;
};

TEST(DescriptorTable, HandsOutTheLowestFreeNumber) {
  Table t;
  EXPECT_EQ(t.open(), 3);  // 0 to 2 are the standard three, even when closed
  EXPECT_EQ(t.open(), 4);
  EXPECT_EQ(t.open(), 5);
  EXPECT_EQ(t.table.close(4), 0);
  EXPECT_EQ(t.open(), 4);
  EXPECT_EQ(t.open(), 6);
  // dup's F_DUPFD form: the lowest free from a given number; below 0 counts from 0.
  EXPECT_EQ(t.open(10), 10);
  EXPECT_EQ(t.open(10), 11);
  EXPECT_EQ(t.open(-5), 0);
  EXPECT_EQ(t.open(0), 1);
}

TEST(DescriptorTable, DupAndDup2ShareOneDescription) {
  Table t;
  const int32_t fd = t.open();
  const int32_t dup = t.table.add(t.table.share(fd), 0);
  EXPECT_EQ(dup, 0);
  t.table.install(20, t.table.share(fd));  // dup2 onto a free number
  EXPECT_EQ(t.table.find(dup), t.table.find(fd));
  EXPECT_EQ(t.table.find(20), t.table.find(fd));
  // The description, and with it the position, lives while any descriptor refers to it.
  EXPECT_EQ(t.table.close(fd), 0);
  EXPECT_EQ(t.table.close(dup), 0);
  EXPECT_TRUE(t.alive(0));
  EXPECT_EQ(t.table.close(20), 0);
  EXPECT_FALSE(t.alive(0));
}

TEST(DescriptorTable, Dup2ClosesWhatItReplaces) {
  Table t;
  const int32_t kept = t.open();
  const int32_t replaced = t.open();
  t.table.install(replaced, t.table.share(kept));
  EXPECT_FALSE(t.alive(1));
  EXPECT_EQ(t.table.find(replaced), t.table.find(kept));
  // Numbers outside the table are refused without touching it.
  t.table.install(-1, t.table.share(kept));
  t.table.install(DescriptorTable::kLimit, t.table.share(kept));
  EXPECT_EQ(t.table.share(kept).use_count(), 3);  // the two slots and this expression's copy
}

TEST(DescriptorTable, ClosesOnlyWhatIsOpen) {
  Table t;
  const int32_t fd = t.open();
  const struct {
    int32_t fd;
    int32_t result;
  } closes[] = {
      {fd, 0}, {fd, kBadDescriptor}, {fd + 1, kBadDescriptor}, {-1, kBadDescriptor},
      {DescriptorTable::kLimit, kBadDescriptor}, {0, kBadDescriptor},  // this table has no standard three
  };
  for (const auto& row : closes) EXPECT_EQ(t.table.close(row.fd), row.result) << "close(" << row.fd << ")";
  EXPECT_FALSE(t.alive(0));
  for (const int32_t fd : {-1, 3, DescriptorTable::kLimit}) {
    EXPECT_EQ(t.table.find(fd), nullptr) << fd;
    EXPECT_EQ(t.table.share(fd), nullptr) << fd;
  }
}

TEST(DescriptorTable, HoldsAtMostItsLimit) {
  Table t;
  for (int32_t expected = 3; expected < DescriptorTable::kLimit; ++expected) {
    EXPECT_FALSE(t.table.full()) << expected;
    ASSERT_EQ(t.open(), expected);
  }
  EXPECT_TRUE(t.table.full());
  EXPECT_EQ(t.open(), kTooManyOpenFiles);
  EXPECT_FALSE(t.alive(DescriptorTable::kLimit - 3));  // the refused description is not kept
  EXPECT_EQ(t.open(DescriptorTable::kLimit - 1), kTooManyOpenFiles);
  // full() is about open(): the standard numbers stay free for dup2 and F_DUPFD from 0.
  EXPECT_EQ(t.open(0), 0);
  EXPECT_EQ(t.table.close(DescriptorTable::kLimit - 1), 0);
  EXPECT_FALSE(t.table.full());
  EXPECT_EQ(t.open(), DescriptorTable::kLimit - 1);
}

TEST(DescriptorTable, CloseAllEndsEveryDescriptionOnlyThisTableHolds) {
  Table t;
  DescriptorTable other;
  t.open(0);
  const int32_t shared = t.open();
  other.install(5, t.table.share(shared));  // a child's copy of the parent's descriptor
  t.table.close_all();
  for (int32_t fd = 0; fd < DescriptorTable::kLimit; ++fd) EXPECT_EQ(t.table.find(fd), nullptr) << fd;
  EXPECT_FALSE(t.alive(0));
  EXPECT_TRUE(t.alive(1));
  EXPECT_NE(other.find(5), nullptr);
}

// A host pipe whose ends close with the test.
struct HostPipe {
  HostPipe() { EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0); }
  ~HostPipe() {
    for (const int end : ends) if (end >= 0) close(end);
  }
  void close_end(int which) { close(ends[which]), ends[which] = -1; }
  int ends[2] = {-1, -1};
};

TEST(DescriptorTable, StandardThreeAreTheHostDevices) {
  HostPipe in, out;
  HostInput input(in.ends[0]);
  HostOutput output(out.ends[1]);
  DescriptorTable with_error(input, output, &output);
  DescriptorTable without_error(input, output);
  EXPECT_NE(with_error.find(2), nullptr);
  EXPECT_EQ(without_error.find(2), nullptr);
  EXPECT_EQ(without_error.add(std::make_shared<Tagged>()), 3);

  ASSERT_EQ(write(in.ends[1], "typed", 5), 5);
  in.close_end(1);
  std::string got(8, '\0');
  const auto into = std::as_writable_bytes(std::span(got));
  EXPECT_EQ(with_error.find(0)->read(into), 5);
  EXPECT_EQ(got.substr(0, 5), "typed");
  EXPECT_EQ(with_error.find(0)->read(into), 0);  // end of input
  EXPECT_EQ(with_error.find(1)->write(std::as_bytes(std::span("shown", 5))), 5);
  EXPECT_EQ(with_error.find(2)->write(std::as_bytes(std::span("!", 1))), 1);
  EXPECT_EQ(read(out.ends[0], got.data(), got.size()), 6);
  EXPECT_EQ(got.substr(0, 6), "shown!");
  // Each device goes one way; lseek is for files.
  EXPECT_EQ(with_error.find(0)->write(std::as_bytes(std::span("x", 1))), kBadDescriptor);
  EXPECT_EQ(with_error.find(1)->read(into), kBadDescriptor);
  EXPECT_EQ(with_error.find(1)->seek(0, 0), -29);
  EXPECT_EQ(with_error.find(1)->position(), -1);
}

TEST(DescriptorTable, HostDeviceFailuresAreAnswers) {
  HostPipe pipe;
  // The read end is no output: the host's EBADF is the program's -9, not a retry for ever.
  HostInput wrong_way(pipe.ends[1]);
  std::byte byte{};
  EXPECT_EQ(wrong_way.read(std::span(&byte, 1)), kBadDescriptor);
  // Output to a pipe without a reader ends the program as SIGPIPE would.
  HostOutput output(pipe.ends[1]);
  pipe.close_end(0);
  struct sigaction ignore {}, before{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &before);
  EXPECT_THROW(output.write(std::as_bytes(std::span("x", 1))), OutputPipeClosed);
  sigaction(SIGPIPE, &before, nullptr);
}

}  // namespace
}  // namespace vornos::kernel
