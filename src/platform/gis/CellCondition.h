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

  bool Keeps(std::int32_t value) const;
};

// Reads a where clause. The field may be written in any letter case and in double quotes;
// blanks are free. Anything else (another field, AND/OR, a missing number) is refused with an
// AppError that quotes the clause and says what is understood.
CellCondition ParseCellCondition(std::string_view clause);

}  // namespace rivanet::gis
