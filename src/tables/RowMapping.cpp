#include "tables/RowMapping.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "platform/Error.h"
#include "platform/Text.h"

namespace rivanet::tables {
namespace {

using gis::DbfField;
using gis::DbfType;

constexpr double kTwo63 = 9223372036854775808.0;

std::string DateText(const gis::DbfDate& d) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d", d.year, d.month, d.day);
  return text;
}

// `value` as the kind `field` holds, where that changes nothing about it; otherwise `value` as
// it is, for ValueProblem to name.
SqlValue Converted(const DbfField& field, SqlValue value) {
  switch (field.type) {
    case DbfType::Integer:
      if (const auto* d = std::get_if<double>(&value);
          d != nullptr && *d == std::floor(*d) && std::fabs(*d) < kTwo63)
        return static_cast<std::int64_t>(*d);
      break;
    case DbfType::Real:
      if (const auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
      break;
    case DbfType::Date:
      if (const auto* s = std::get_if<std::string>(&value))
        if (const auto date = gis::ParseDbfDate(*s)) {
          if (s->size() == 10 && (*s)[4] == '/' && (*s)[7] == '/') return value;  // as read
          return DateText(*date);
        }
      break;
    case DbfType::String:
      break;
  }
  return value;
}

AppError WrongKind(const DbfField& field) {
  return AppError(kErrInvalidArgument,
                  "A value read back for field \"" + field.name + "\" is not of the field's kind");
}

}  // namespace

ColumnMap MapColumns(const std::vector<DbfField>& source, const std::vector<DbfField>& target,
                     const std::string& table) {
  ColumnMap map;
  map.sourceField.assign(target.size(), -1);
  map.rounds.assign(target.size(), false);
  for (std::size_t s = 0; s < source.size(); ++s) {
    bool found = false;
    for (std::size_t t = 0; t < target.size() && !found; ++t) {
      if (SameIgnoringCase(source[s].name, target[t].name)) {
        map.sourceField[t] = static_cast<int>(s);
        map.rounds[t] = gis::RoundsUnseen(source[s], target[t]);
        found = true;
      }
    }
    if (!found)
      throw AppError(kErrInvalidArgument, "Field \"" + source[s].name +
                                              "\" is not a field of table " + table +
                                              ", which the rows are appended to");
  }
  return map;
}

SqlRow ToSql(const std::vector<DbfField>& target, gis::DbfTextWidth text, const ColumnMap& map,
             const gis::DbfRow& source) {
  SqlRow row(target.size());
  for (std::size_t t = 0; t < target.size(); ++t) {
    const int s = t < map.sourceField.size() ? map.sourceField[t] : -1;
    if (s < 0 || static_cast<std::size_t>(s) >= source.size()) continue;
    row[t] = Converted(target[t], source[s]);
    if (auto* d = std::get_if<double>(&row[t]); d != nullptr && t < map.rounds.size() &&
                                                map.rounds[t] &&
                                                !gis::KeepsDecimals(*d, target[t].precision))
      *d = gis::RoundedTo(*d, target[t].precision);
    if (const auto problem = gis::ValueProblem(target[t], row[t], text))
      throw AppError(kErrOverflow, *problem);
  }
  return row;
}

std::string RowKey(const SqlRow& row) {
  std::string key;
  const auto bytes = [&](const void* data, std::size_t size) {
    key.append(static_cast<const char*>(data), size);
  };
  for (const SqlValue& value : row) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
      key.push_back('i');
      bytes(i, sizeof *i);
    } else if (const auto* d = std::get_if<double>(&value)) {
      const double number = *d == 0.0 ? 0.0 : *d;  // -0.0 equals 0.0
      key.push_back('r');
      bytes(&number, sizeof number);
    } else if (const auto* s = std::get_if<std::string>(&value)) {
      const auto length = static_cast<std::uint32_t>(s->size());
      key.push_back('t');
      bytes(&length, sizeof length);
      key += *s;
    } else {
      key.push_back('n');
    }
  }
  return key;
}

bool IsZero(const SqlValue& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return *i == 0;
  if (const auto* d = std::get_if<double>(&value)) return *d == 0.0;
  return false;
}

gis::DbfRow FromSql(const std::vector<DbfField>& target, const SqlRow& values) {
  if (values.size() != target.size())
    throw AppError(kErrInvalidArgument, std::to_string(values.size()) + " values read back for " +
                                            std::to_string(target.size()) + " fields");
  gis::DbfRow row(values.size());
  for (std::size_t t = 0; t < values.size(); ++t) {
    const SqlValue& value = values[t];
    if (std::holds_alternative<std::monostate>(value)) continue;
    const bool text = std::holds_alternative<std::string>(value);
    switch (target[t].type) {
      case DbfType::Integer:
      case DbfType::Real: {
        if (text) throw WrongKind(target[t]);
        const SqlValue converted = Converted(target[t], value);
        if (target[t].type == DbfType::Integer && !std::holds_alternative<std::int64_t>(converted))
          throw WrongKind(target[t]);
        row[t] = converted;
        break;
      }
      case DbfType::String:
      case DbfType::Date:
        if (!text) throw WrongKind(target[t]);
        row[t] = value;
        break;
    }
  }
  return row;
}

}  // namespace rivanet::tables
