#pragma once

#include <cstdint>

namespace rivanet {

// A run's duration as the summary line states it.
struct ElapsedTime {
  std::int64_t minutes = 0;
  std::int64_t seconds = 0;
};

// Minutes are the whole part of the duration in minutes (first rounded to 5 decimals);
// seconds are the rest times 60, rounded half to even. So 59.6 s reads "0 minutes and 60
// seconds" and 125.6 s "2 minutes and 6 seconds".
ElapsedTime SplitElapsed(std::int64_t milliseconds);

}  // namespace rivanet
