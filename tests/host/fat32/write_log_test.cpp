// The power-cut harness's states of a disk that reorders writes between barriers.
#include <gtest/gtest.h>

#include <set>

#include "test_images.h"

namespace vornos::fat32 {
namespace {

using test::WriteLog;
using States = std::vector<std::vector<size_t>>;

WriteLog log_of(size_t writes, std::vector<size_t> barriers) {
  WriteLog log;
  log.writes.resize(writes, {0, {}});
  log.barriers = std::move(barriers);
  return log;
}

TEST(WriteLog, ReorderedStatesAreEachEpochsSinglesAndAllButOnes) {
  const struct { const char* what; size_t writes; std::vector<size_t> barriers; States states; } cases[] = {
      {"no writes", 0, {0}, {}},
      {"one write", 1, {}, {{0}}},
      {"two epochs", 5, {2},
       {{0}, {1}, {0, 1, 2}, {0, 1, 3}, {0, 1, 4}, {0, 1, 3, 4}, {0, 1, 2, 4}, {0, 1, 2, 3}}},
      {"barriers before any write and twice in a row order nothing more", 5, {0, 2, 2},
       {{0}, {1}, {0, 1, 2}, {0, 1, 3}, {0, 1, 4}, {0, 1, 3, 4}, {0, 1, 2, 4}, {0, 1, 2, 3}}},
      {"a barrier after the last write", 3, {1, 3}, {{0}, {0, 1}, {0, 2}}},
  };
  for (const auto& c : cases) EXPECT_EQ(log_of(c.writes, c.barriers).reordered_states(), c.states) << c.what;
}

TEST(WriteLog, ALargeEpochIsSampledTheSameEveryTime) {
  const WriteLog log = log_of(40, {30});
  const States states = log.reordered_states(4);
  ASSERT_EQ(states, log.reordered_states(4));
  ASSERT_EQ(states.size(), 4u * 2 * 2);
  std::set<size_t> singles;
  for (size_t i = 0; i < 8; ++i) {  // the first epoch: 0..29
    const bool single = states[i].size() == 1;
    EXPECT_EQ(states[i].size(), single ? 1u : 29u) << i;
    EXPECT_LT(states[i].back(), 30u) << i;
    if (single) singles.insert(states[i][0]);
  }
  EXPECT_EQ(singles.size(), 4u) << "four different writes";
  for (size_t i = 8; i < states.size(); ++i) {  // the second: 0..29 first, then one or all but one of 30..39
    EXPECT_TRUE(states[i].size() == 31 || states[i].size() == 39) << i;
    EXPECT_EQ(states[i][29], 29u) << i;
  }
}

}  // namespace
}  // namespace vornos::fat32
