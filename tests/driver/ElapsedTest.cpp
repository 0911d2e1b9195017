#include <gtest/gtest.h>

#include "driver/Elapsed.h"

namespace rivanet {
namespace {

std::pair<std::int64_t, std::int64_t> Split(std::int64_t ms) {
  const ElapsedTime t = SplitElapsed(ms);
  return {t.minutes, t.seconds};
}

TEST(ElapsedTest, RoundsLikeTheSummaryLine) {
  EXPECT_EQ(Split(59600), std::make_pair(std::int64_t{0}, std::int64_t{60}));
  EXPECT_EQ(Split(125600), std::make_pair(std::int64_t{2}, std::int64_t{6}));
  EXPECT_EQ(Split(0), std::make_pair(std::int64_t{0}, std::int64_t{0}));
  EXPECT_EQ(Split(60000), std::make_pair(std::int64_t{1}, std::int64_t{0}));
  EXPECT_EQ(Split(754400), std::make_pair(std::int64_t{12}, std::int64_t{34}));
  // Seconds are rounded after the minutes are taken, so a run just short of a minute
  // reads as 60 seconds rather than as 1 minute.
  EXPECT_EQ(Split(59999), std::make_pair(std::int64_t{0}, std::int64_t{60}));
}

}  // namespace
}  // namespace rivanet
