// The power-cut harness's states of a disk that reorders writes between barriers.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vornos::fat32
