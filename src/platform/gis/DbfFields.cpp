#include "platform/gis/DbfFields.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/Text.h"

namespace rivanet::gis {
namespace {

constexpr std::size_t kMaxName = 10;
constexpr std::size_t kShownText = 40;  // longer text is cut in messages

// "Integer 10", "Real 19.11", "String 254", "Date": the field as a user sees it in ArcGIS.
std::string Describe(const DbfField& f) {
  switch (f.type) {
    case DbfType::Integer:
      return "Integer " + std::to_string(f.width);
    case DbfType::Real:
      return "Real " + std::to_string(f.width) + "." + std::to_string(f.precision);
    case DbfType::String:
      return "String " + std::to_string(f.width);
    case DbfType::Date:
      return "Date";
  }
  return "unknown";
}

std::string Shown(const DbfValue& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
  if (const auto* d = std::get_if<double>(&value)) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, *d).ptr;
    return std::string(text, end);
  }
  if (const auto* s = std::get_if<std::string>(&value)) {
    std::string shown(1, '"');
    shown.append(*s, 0, kShownText);
    if (s->size() > kShownText) shown.append("...");
    shown.push_back('"');
    return shown;
  }
  return "no value";
}

std::string CannotHold(const DbfField& f, const DbfValue& value, const std::string& why) {
  return "Field \"" + f.name + "\" (" + Describe(f) + ") cannot hold " + Shown(value) + ": " + why;
}

// Characters of an integer written in full, sign included.
std::size_t DecimalWidth(std::int64_t v) { return std::to_string(v).size(); }

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysIn(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && LeapYear(year) ? 29 : kDays[month - 1];
}

bool Digits(std::string_view text, std::size_t from, std::size_t count, int& out) {
  const char* first = text.data() + from;
  const auto [end, ec] = std::from_chars(first, first + count, out);
  return ec == std::errc() && end == first + count && text[from] != '-' && text[from] != '+';
}

}  // namespace

std::optional<DbfDate> ParseDbfDate(std::string_view text) {
  DbfDate d;
  bool ok = false;
  if (text.size() == 8) {
    ok = Digits(text, 0, 4, d.year) && Digits(text, 4, 2, d.month) && Digits(text, 6, 2, d.day);
  } else if (text.size() == 10 && (text[4] == '-' || text[4] == '/') && text[7] == text[4]) {
    ok = Digits(text, 0, 4, d.year) && Digits(text, 5, 2, d.month) && Digits(text, 8, 2, d.day);
  }
  if (!ok || d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1 ||
      d.day > DaysIn(d.year, d.month))
    return std::nullopt;
  return d;
}

bool KeepsDecimals(double value, int decimals) {
  // Exact powers of ten: a double holds 10^n exactly up to 10^22.
  static constexpr auto kScale = [] {
    std::array<double, 23> scale{};
    double p = 1;
    for (double& s : scale) {
      s = p;
      p *= 10;
    }
    return scale;
  }();
  if (decimals < 0 || decimals >= static_cast<int>(kScale.size())) return true;
  const double scale = kScale[static_cast<std::size_t>(decimals)];
  const double units = value * scale;
  if (!(std::fabs(units) < 2251799813685248.0)) return true;  // 2^51
  // Both sides of the division are exact, so it yields the double nearest the decimal.
  return std::nearbyint(units) / scale == value;
}

double RoundedTo(double value, int decimals) {
  char text[400];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return std::strtod(text, nullptr);
}

bool RoundsUnseen(const DbfField& from, const DbfField& to) {
  return from.type == DbfType::Real && to.type == DbfType::Real && from.precision <= to.precision;
}

std::optional<std::string> FieldNameProblem(std::string_view name) {
  if (name.empty()) return "A field needs a name";
  if (name.size() > kMaxName)
    return "Field name \"" + std::string(name) + "\" is longer than " + std::to_string(kMaxName) +
           " characters";
  return std::nullopt;
}

std::optional<std::string> FieldDefinitionProblem(const DbfField& f) {
  if (auto problem = FieldNameProblem(f.name)) return problem;
  const auto bad = [&](const std::string& why) { return "Field \"" + f.name + "\" " + why; };
  switch (f.type) {
    case DbfType::Integer:
      if (f.width < 1 || f.width > 18) return bad("needs a width of 1 to 18");
      break;
    case DbfType::Real:
      if (f.width < 1 || f.width > 32 || f.precision < 0 || f.precision >= f.width)
        return bad("needs a width of 1 to 32 and fewer decimals than its width");
      break;
    case DbfType::String:
      if (f.width < 1 || f.width > 254) return bad("needs a width of 1 to 254");
      break;
    case DbfType::Date:
      break;
  }
  return std::nullopt;
}

std::optional<std::string> FieldListProblem(const std::vector<DbfField>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (auto problem = FieldDefinitionProblem(fields[i])) return problem;
    for (std::size_t j = 0; j < i; ++j)
      if (SameIgnoringCase(fields[j].name, fields[i].name))
        return "Field \"" + fields[i].name + "\" appears twice";
  }
  return std::nullopt;
}

std::optional<std::string> FieldValueProblem(const DbfField& f, const DbfValue& value) {
  if (std::holds_alternative<std::monostate>(value)) return std::nullopt;
  const auto* integer = std::get_if<std::int64_t>(&value);
  const auto* real = std::get_if<double>(&value);
  const auto* text = std::get_if<std::string>(&value);
  if (real != nullptr && !std::isfinite(*real) && f.type != DbfType::String &&
      f.type != DbfType::Date)
    return CannotHold(f, value, "not a finite number");
  switch (f.type) {
    case DbfType::Integer: {
      // 2^63 is exactly representable; anything from there on is no int64.
      if (real != nullptr && *real != std::floor(*real))
        return CannotHold(f, value, "not an integer");
      if (real != nullptr && std::fabs(*real) >= 9223372036854775808.0)
        return CannotHold(f, value, "wider than the field");
      if (text != nullptr) return CannotHold(f, value, "text in a number field");
      const std::int64_t v = integer != nullptr ? *integer : static_cast<std::int64_t>(*real);
      if (DecimalWidth(v) > static_cast<std::size_t>(f.width))
        return CannotHold(f, value, "wider than the field");
      return std::nullopt;
    }
    case DbfType::Real: {
      if (text != nullptr) return CannotHold(f, value, "text in a number field");
      const double d = integer != nullptr ? static_cast<double>(*integer) : *real;
      const int needed = std::snprintf(nullptr, 0, "%.*f", f.precision, d);
      if (needed > f.width) return CannotHold(f, value, "wider than the field");
      if (!KeepsDecimals(d, f.precision))
        return CannotHold(f, value, "more decimals than the field keeps");
      return std::nullopt;
    }
    case DbfType::String:
      if (text == nullptr) return CannotHold(f, value, "a number in a text field");
      if (text->size() > static_cast<std::size_t>(f.width))
        return CannotHold(f, value, std::to_string(text->size()) + " bytes, longer than the field");
      return std::nullopt;
    case DbfType::Date:
      if (text == nullptr || !ParseDbfDate(*text))
        return CannotHold(f, value, "not a date (YYYYMMDD, YYYY-MM-DD or YYYY/MM/DD)");
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace rivanet::gis
