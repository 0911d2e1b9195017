#include "platform/gis/DbfFit.h"

#include <cmath>
#include <cstdint>
#include <string_view>

#include "platform/Text.h"

namespace rivanet::gis {
namespace {

constexpr std::size_t kShownText = 40;

// 10^n for n = 0..18.
std::int64_t Power10(int n) {
  std::int64_t p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// A UTF-8 lead byte starts a character; continuation bytes (10xxxxxx) do not.
std::size_t Characters(std::string_view utf8) {
  std::size_t count = 0;
  for (const char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

bool IntegerFits(const DbfField& f, std::int64_t v) {
  if (f.width < 1 || f.width > 18) return false;
  // One place goes to the minus sign of a negative value.
  return v >= 0 ? v < Power10(f.width) : f.width > 1 && v > -Power10(f.width - 1);
}

bool RealFits(const DbfField& f, double d) {
  // A value below 10^k - 1 keeps at most k digits before the point after rounding to the
  // field's decimals, and with the sign and the point that is the field's width.
  const int k = f.precision > 0 ? f.width - f.precision - 2 : f.width - 1;
  if (k < 1 || k > 18) return false;
  return std::fabs(d) < static_cast<double>(Power10(k) - 1) && KeepsDecimals(d, f.precision);
}

std::string TooLong(const DbfField& f, const std::string& text, std::size_t characters) {
  std::string shown(1, '"');
  shown.append(text, 0, kShownText).append(text.size() > kShownText ? "...\"" : "\"");
  return "Field \"" + f.name + "\" (String " + std::to_string(f.width) + ") cannot hold " + shown +
         ": " + std::to_string(characters) + " characters, longer than the field";
}

bool SingleByteCodePage(const std::string& encoding) {
  if (StartsIgnoringCase(encoding, "ISO-8859-") || StartsIgnoringCase(encoding, "ISO8859"))
    return true;
  if (!StartsIgnoringCase(encoding, "CP") || encoding.size() < 3) return false;
  const std::string number = encoding.substr(2);
  if (number.find_first_not_of("0123456789") != std::string::npos) return false;
  // The East Asian code pages store a character in one or two bytes, and 65001 is UTF-8.
  return number != "932" && number != "936" && number != "949" && number != "950" &&
         number != "65001";
}

}  // namespace

DbfTextWidth TextWidthFor(const std::string& encoding) {
  return SingleByteCodePage(encoding) ? DbfTextWidth::Characters : DbfTextWidth::Utf8Bytes;
}

std::optional<std::string> ValueProblem(const DbfField& field, const DbfValue& value,
                                        DbfTextWidth text) {
  if (std::holds_alternative<std::monostate>(value)) return std::nullopt;
  switch (field.type) {
    case DbfType::Integer:
      if (const auto* i = std::get_if<std::int64_t>(&value); i != nullptr && IntegerFits(field, *i))
        return std::nullopt;
      break;
    case DbfType::Real:
      if (const auto* d = std::get_if<double>(&value); d != nullptr && RealFits(field, *d))
        return std::nullopt;
      break;
    case DbfType::String:
      if (const auto* s = std::get_if<std::string>(&value);
          s != nullptr && text == DbfTextWidth::Characters) {
        const std::size_t characters = Characters(*s);
        if (characters > static_cast<std::size_t>(field.width))
          return TooLong(field, *s, characters);
        return std::nullopt;
      }
      break;
    case DbfType::Date:
      break;
  }
  return FieldValueProblem(field, value);
}

}  // namespace rivanet::gis
