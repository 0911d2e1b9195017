#include "driver/Elapsed.h"

#include <cmath>

namespace rivanet {
namespace {

// Rounds to the nearest whole number, halves to the even neighbour, whatever the
// floating-point environment's rounding mode.
double RoundHalfEven(double x) {
  const double down = std::floor(x);
  const double rest = x - down;
  if (rest > 0.5) return down + 1;
  if (rest < 0.5) return down;
  return std::fmod(down, 2.0) == 0 ? down : down + 1;
}

}  // namespace

ElapsedTime SplitElapsed(std::int64_t milliseconds) {
  const double minutesExact = (static_cast<double>(milliseconds) / 1000.0) / 60.0;
  const double rounded = RoundHalfEven(minutesExact * 1e5) / 1e5;
  ElapsedTime t;
  const double whole = std::floor(rounded);
  t.minutes = static_cast<std::int64_t>(whole);
  t.seconds = static_cast<std::int64_t>(RoundHalfEven((rounded - whole) * 60.0));
  return t;
}

}  // namespace rivanet
