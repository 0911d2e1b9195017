#pragma once

#include <string>
#include <vector>

#include "platform/gis/DbfFit.h"
#include "platform/gis/DbfReader.h"

namespace rivanet::tables {

// How a row of one dBASE table becomes SQL values for the columns of another, and back. The
// append matches columns by name, letter case ignored; a target field that the source lacks
// stays empty, and a source field that the target lacks refuses the append, as an INSERT ...
// SELECT * refuses it. Each value is converted to what its target field holds, and one that the
// field cannot hold unchanged refuses the row: nothing is cut or rounded away unseen.

// An SQL value: none, integer, real or text (dates as text YYYY/MM/DD).
using SqlValue = gis::DbfValue;
using SqlRow = std::vector<SqlValue>;

// For each target field, the index of the source field it takes its value from, or -1, and
// whether a real from it is rounded to the target's decimals without a word (RoundsUnseen).
struct ColumnMap {
  std::vector<int> sourceField;
  std::vector<bool> rounds;
  bool operator==(const ColumnMap&) const = default;
};

// Throws AppError naming the field and `table` when the source has a field the target lacks.
ColumnMap MapColumns(const std::vector<gis::DbfField>& source,
                     const std::vector<gis::DbfField>& target, const std::string& table);

// The target's row for a source row: a value per target field, converted to the field's kind
// (an integral real becomes an integer for an Integer field, an integer a real for a Real field,
// a date in any form ParseDbfDate reads the text YYYY/MM/DD; a real the map rounds, rounded
// to the field's decimals, as it will be stored). Throws AppError naming the field
// and the value when the field cannot hold it (text measured as `text` says).
SqlRow ToSql(const std::vector<gis::DbfField>& target, gis::DbfTextWidth text, const ColumnMap& map,
             const gis::DbfRow& source);

// The row as one SQL value (a BLOB) that two rows share exactly when SELECT DISTINCT takes them
// as one: each value tagged with its kind (ToSql gives all values of a column one kind, so the
// kinds never differ where the values are equal), numbers by their bits, text with its length.
std::string RowKey(const SqlRow& row);

// True for a number equal to 0, as "WHERE field = 0" selects it.
bool IsZero(const SqlValue& value);

// The dBASE row for SQL values read back for the target's fields: the inverse of ToSql. Throws
// AppError when a value is not of its field's kind.
gis::DbfRow FromSql(const std::vector<gis::DbfField>& target, const SqlRow& values);

}  // namespace rivanet::tables
