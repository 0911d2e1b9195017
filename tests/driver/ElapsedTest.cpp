#include <gtest/gtest.h>

#include "driver/Elapsed.h"

namespace rivanet {
namespace {

TEST(ElapsedTest, RoundsLikeTheSummaryLine) {
  // Seconds are rounded after the minutes are taken, so a run just short of a minute reads as
  // 60 seconds rather than as 1 minute.
  const std::int64_t cases[][3] = {{0, 0, 0},     {59600, 0, 60}, {59999, 0, 60},
                                   {60000, 1, 0}, {125600, 2, 6}, {754400, 12, 34}};
  for (const auto& [ms, minutes, seconds] : cases) {
    const ElapsedTime t = SplitElapsed(ms);
    EXPECT_EQ(t.minutes, minutes) << ms;
    EXPECT_EQ(t.seconds, seconds) << ms;
  }
}

}  // namespace
}  // namespace rivanet
