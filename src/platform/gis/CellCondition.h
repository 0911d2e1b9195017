#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace rivanet::gis {

// A condition on a grid's cell value, as an extraction's where clause states it: "Value"
// compared with a number by one of > >= < <= = <> ("value > 0", "VALUE<>-1").
struct CellCondition {
  enum class Op { Greater, GreaterOrEqual, Less, LessOrEqual, Equal, NotEqual };
  Op op = Op::Greater;
  double number = 0;
};

// Calls f with a function object (int32 value -> bool: does the condition keep it) that
// compares whole numbers only, so that a loop over millions of cells compiles to a few
// instructions for several cells at once. Every operator but <> keeps a range of values; <>
// keeps all but one (or all, when the number is no whole number).
template <class F>
decltype(auto) WithComparison(const CellCondition& condition, F&& f) {
  const double n = condition.number;
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  using Op = CellCondition::Op;
  if (condition.op == Op::NotEqual) {
    if (n == std::floor(n) && n >= kMin && n <= kMax)
      return f([except = static_cast<std::int32_t>(n)](std::int32_t v) { return v != except; });
    return f([](std::int32_t) { return true; });
  }
  // The kept values as a closed range of whole numbers.
  double lo = kMin, hi = kMax;
  switch (condition.op) {
    case Op::Greater:
      lo = std::floor(n) + 1;
      break;
    case Op::GreaterOrEqual:
      lo = std::ceil(n);
      break;
    case Op::Less:
      hi = std::ceil(n) - 1;
      break;
    case Op::LessOrEqual:
      hi = std::floor(n);
      break;
    case Op::Equal:
    case Op::NotEqual:
      lo = std::ceil(n);
      hi = std::floor(n);
      break;
  }
  lo = std::max(lo, kMin);
  hi = std::min(hi, kMax);
  if (!(lo <= hi)) return f([](std::int32_t) { return false; });
  // v in [lo, hi], as one unsigned comparison.
  return f([lo = static_cast<std::int32_t>(lo),
            span = static_cast<std::uint32_t>(static_cast<std::int64_t>(hi) -
                                              static_cast<std::int64_t>(lo))](std::int32_t v) {
    return static_cast<std::uint32_t>(v) - static_cast<std::uint32_t>(lo) <= span;
  });
}

// Reads a where clause. The field may be written in any letter case and in double quotes;
// blanks are free. Anything else (another field, AND/OR, a missing number) is refused with an
// AppError that quotes the clause and says what is understood.
CellCondition ParseCellCondition(std::string_view clause);

}  // namespace rivanet::gis
