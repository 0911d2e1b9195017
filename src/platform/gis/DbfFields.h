#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace rivanet::gis {

// What a dBASE table (the attribute table of a shapefile, a workspace table, a grid's value
// attribute table) can hold. GDAL narrows or cuts a value that does not fit its field with no
// more than a warning, so everything written is checked against these rules first.

enum class DbfType { Integer, Real, String, Date };

struct DbfField {
  std::string name;
  DbfType type = DbfType::Integer;
  int width = 10;     // characters; dates are always 8 (YYYYMMDD)
  int precision = 0;  // decimals of a Real field
  bool operator==(const DbfField&) const = default;
};

// A value of a row: none, an integer, a real, or text (a date as text, see ParseDbfDate).
using DbfValue = std::variant<std::monostate, std::int64_t, double, std::string>;

struct DbfDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

// A calendar date written YYYYMMDD, YYYY-MM-DD or YYYY/MM/DD (years 1 to 9999).
std::optional<DbfDate> ParseDbfDate(std::string_view text);

// Each check returns nothing when all is well, else a sentence that names the field (and
// the value) and says what is wrong, for the caller to add the file and row to.

// Names have 1 to 10 characters (bytes in the table's UTF-8).
std::optional<std::string> FieldNameProblem(std::string_view name);
// A name, and a width the type allows: Integer 1..18, Real 1..32 with fewer decimals than
// its width, String 1..254 bytes; a Date's width is fixed and ignored.
std::optional<std::string> FieldDefinitionProblem(const DbfField& field);
// Every definition, and no name twice (letter case ignored).
std::optional<std::string> FieldListProblem(const std::vector<DbfField>& fields);
// True when writing `value` with `decimals` decimals gives it back: the decimal written reads
// as `value` again. (Past 2^51 units of the last decimal a double holds no finer detail, and
// every value counts as kept.)
bool KeepsDecimals(double value, int decimals);
// `value` as a field with `decimals` decimals stores it: written with them, and read back.
double RoundedTo(double value, int decimals);
// True when a real of field `from` may be rounded to field `to` without a word: `from` declares
// no more decimals than `to` keeps, so what it holds beyond them (GIS software writes more
// digits than a field declares) was never part of its values.
bool RoundsUnseen(const DbfField& from, const DbfField& to);
// Whether the value fits the field as dBASE stores it: an integer (or an integral real) in
// the width with its sign; a finite real that the field's decimals keep, in the width; text
// of at most `width` bytes; a date as ParseDbfDate reads it. No value always fits.
std::optional<std::string> FieldValueProblem(const DbfField& field, const DbfValue& value);

}  // namespace rivanet::gis
