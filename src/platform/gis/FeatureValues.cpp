#include "platform/gis/FeatureValues.h"

#include <array>
#include <charconv>
#include <system_error>

namespace rivanet::gis {

DbfValue ValueOf(const OGRFeature& feature, int field, OGRFieldType type) {
  switch (type) {
    case OFTInteger:
    case OFTInteger64:
      return std::int64_t{feature.GetFieldAsInteger64(field)};
    case OFTReal:
      return feature.GetFieldAsDouble(field);
    default:
      return std::string(feature.GetFieldAsString(field));  // a date reads YYYY/MM/DD
  }
}

DbfValue Converted(DbfValue value, DbfType type) {
  if (auto* text = std::get_if<std::string>(&value)) {
    const std::size_t first = text->find_first_not_of(' ');
    const std::size_t last = text->find_last_not_of(' ');
    if (first == std::string::npos) return value;
    const char* begin = text->data() + first;
    const char* end = text->data() + last + 1;
    if (type == DbfType::Integer) {
      std::int64_t number = 0;
      const auto [at, ec] = std::from_chars(begin, end, number);
      if (ec == std::errc() && at == end) return number;
    } else if (type == DbfType::Real) {
      double number = 0;
      const auto [at, ec] = std::from_chars(begin, end, number);
      if (ec == std::errc() && at == end) return number;
    }
    return value;
  }
  if (type != DbfType::String) return value;
  std::array<char, 32> digits{};
  char* end = digits.data();
  if (const auto* integer = std::get_if<std::int64_t>(&value))
    end = std::to_chars(digits.data(), digits.data() + digits.size(), *integer).ptr;
  else if (const auto* real = std::get_if<double>(&value))
    end = std::to_chars(digits.data(), digits.data() + digits.size(), *real).ptr;
  else
    return value;
  return std::string(digits.data(), end);
}

std::string ProblemWith(const DbfField& field, const DbfValue& value) {
  if (auto problem = FieldValueProblem(field, value)) return *problem;
  return "Field \"" + field.name + "\" cannot hold " +
         std::to_string(std::get<std::int64_t>(value)) + ": beyond a 32-bit integer";
}

void PutConverted(OGRFeature& out, int to, const DbfField& field, const DbfValue& value) {
  const auto* integer = std::get_if<std::int64_t>(&value);
  const auto* real = std::get_if<double>(&value);
  const auto* text = std::get_if<std::string>(&value);
  switch (field.type) {
    case DbfType::Integer:
      out.SetField(to, static_cast<GIntBig>(integer != nullptr ? *integer
                                                               : static_cast<std::int64_t>(*real)));
      return;
    case DbfType::Real:
      out.SetField(to, integer != nullptr ? static_cast<double>(*integer) : *real);
      return;
    case DbfType::String:
      out.SetField(to, text->c_str());
      return;
    case DbfType::Date: {
      const std::optional<DbfDate> d = ParseDbfDate(*text);
      out.SetField(to, d->year, d->month, d->day);
      return;
    }
  }
}

}  // namespace rivanet::gis
