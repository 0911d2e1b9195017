#include "platform/gis/CellCondition.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "platform/Error.h"
#include "platform/Text.h"

namespace rivanet::gis {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool TakePrefix(std::string_view& text, std::string_view prefix) {
  if (!StartsIgnoringCase(text, prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

}  // namespace

CellCondition ParseCellCondition(std::string_view clause) {
  const auto refuse = [&] {
    return AppError(kErrInvalidArgument,
                    "Cannot use the condition \"" + std::string(clause) +
                        "\": only Value compared with a number by > >= < <= = or <> is understood");
  };
  std::string_view rest = Trim(clause);
  if (!TakePrefix(rest, "\"value\"") && !TakePrefix(rest, "value")) throw refuse();
  rest = Trim(rest);
  // Two-character operators first, so that ">=" is not read as ">" and "=5".
  static constexpr std::array<std::pair<std::string_view, CellCondition::Op>, 6> kOps{{
      {">=", CellCondition::Op::GreaterOrEqual},
      {"<=", CellCondition::Op::LessOrEqual},
      {"<>", CellCondition::Op::NotEqual},
      {">", CellCondition::Op::Greater},
      {"<", CellCondition::Op::Less},
      {"=", CellCondition::Op::Equal},
  }};
  CellCondition condition;
  bool found = false;
  for (const auto& [text, op] : kOps) {
    if (TakePrefix(rest, text)) {
      condition.op = op;
      found = true;
      break;
    }
  }
  rest = Trim(rest);
  if (!found || rest.empty()) throw refuse();
  const std::string number(rest);
  char* end = nullptr;
  errno = 0;
  condition.number = std::strtod(number.c_str(), &end);
  if (end != number.c_str() + number.size() || errno != 0 || !std::isfinite(condition.number))
    throw refuse();
  return condition;
}

}  // namespace rivanet::gis
