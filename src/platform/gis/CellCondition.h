#pragma once

#include <cstdint>
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

// Calls f with a function object (int32 value -> bool: does the condition keep it) whose type
// differs for each operator, so that a loop over millions of cells compiles without asking
// which operator it is at every cell.
template <class F>
decltype(auto) WithComparison(const CellCondition& condition, F&& f) {
  const double n = condition.number;
  using Op = CellCondition::Op;
  switch (condition.op) {
    case Op::Greater:
      return f([n](std::int32_t v) { return v > n; });
    case Op::GreaterOrEqual:
      return f([n](std::int32_t v) { return v >= n; });
    case Op::Less:
      return f([n](std::int32_t v) { return v < n; });
    case Op::LessOrEqual:
      return f([n](std::int32_t v) { return v <= n; });
    case Op::Equal:
      return f([n](std::int32_t v) { return v == n; });
    case Op::NotEqual:
      break;
  }
  return f([n](std::int32_t v) { return v != n; });
}

// Reads a where clause. The field may be written in any letter case and in double quotes;
// blanks are free. Anything else (another field, AND/OR, a missing number) is refused with an
// AppError that quotes the clause and says what is understood.
CellCondition ParseCellCondition(std::string_view clause);

}  // namespace rivanet::gis
