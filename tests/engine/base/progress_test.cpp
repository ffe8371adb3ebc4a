// Progress reporting of long operations: every whole percent is reported once and in order,
// however many units an operation has and however its range is shared with inner operations,
// although most Advance calls of a long loop report nothing.
#include <gtest/gtest.h>

#include <vector>

#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"

namespace {

std::vector<uint16_t> g_seen;
int g_stop_at = 1000;

uint32_t Record(uint16_t percent) {
  g_seen.push_back(percent);
  return percent >= g_stop_at ? 1 : 0;
}

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen.clear();
    g_stop_at = 1000;
    ace::CurrentCallbacks().progress = &Record;
  }
  void TearDown() override { ace::ClearThreadCallbacks(); }
  static std::vector<uint16_t> AllPercents() {
    std::vector<uint16_t> all;
    for (uint16_t p = 0; p <= 100; ++p) all.push_back(p);
    return all;
  }
};

TEST_F(ProgressTest, EveryPercentOnceForLongAndOddSizedOperations) {
  for (uint64_t total : {101ull, 997ull, 1000003ull, 4294967295ull / 4096}) {
    g_seen.clear();
    ace::Progress progress(total);
    for (uint64_t done = 0; done <= total; ++done) ASSERT_TRUE(progress.Advance(done).ok());
    EXPECT_EQ(g_seen, AllPercents()) << total << " units";
  }
}

TEST_F(ProgressTest, SharedRangesOfInnerOperationsLoseNoPercent) {
  ace::Progress outer(3);
  ASSERT_TRUE(outer.Advance(0).ok());
  for (uint64_t step = 0; step < 3; ++step) {
    outer.Share(step, step + 1);
    ace::Progress inner(100003 + step * 7919);
    const uint64_t n = 100003 + step * 7919;
    for (uint64_t done = 0; done <= n; ++done) ASSERT_TRUE(inner.Advance(done).ok());
  }
  ASSERT_TRUE(outer.Advance(3).ok());
  EXPECT_EQ(g_seen, AllPercents());
}

TEST_F(ProgressTest, AStopIsAnsweredAtItsPercentAndForEveryCallAfter) {
  g_stop_at = 37;
  ace::Progress progress(500000);
  uint64_t stopped_at = 0;
  for (uint64_t done = 0; done <= 500000; ++done) {
    if (!progress.Advance(done).ok()) {
      stopped_at = done;
      break;
    }
  }
  EXPECT_EQ(stopped_at, 185000u);  // the first unit of 37 percent
  EXPECT_EQ(g_seen.back(), 37);
  EXPECT_EQ(progress.Advance(stopped_at + 1).code(), ace::kErrOperationCancelled);
}

}  // namespace
