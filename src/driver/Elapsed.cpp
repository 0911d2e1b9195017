#include "driver/Elapsed.h"

#include <cfenv>
#include <cmath>

namespace rivanet {

ElapsedTime SplitElapsed(std::int64_t milliseconds) {
  // nearbyint rounds half to even in the default rounding mode.
  std::fesetround(FE_TONEAREST);
  const double minutesExact = (static_cast<double>(milliseconds) / 1000.0) / 60.0;
  const double rounded = std::nearbyint(minutesExact * 1e5) / 1e5;
  ElapsedTime t;
  const double whole = std::floor(rounded);
  t.minutes = static_cast<std::int64_t>(whole);
  t.seconds = static_cast<std::int64_t>(std::nearbyint((rounded - whole) * 60.0));
  return t;
}

}  // namespace rivanet
