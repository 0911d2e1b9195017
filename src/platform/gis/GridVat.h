#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/gis/DbfFields.h"

namespace rivanet::gis {

// The value attribute table of a grid: one row per cell value, with Value and Count first.
// A GeoTIFF grid keeps it in <grid>/<grid>.tif.vat.dbf, an ArcInfo grid in its INFO tables.

using VatFieldType = DbfType;
using VatField = DbfField;
using VatValue = DbfValue;
// One row, values in field order (Value and Count first).
using VatRow = std::vector<VatValue>;

// Fields and rows in ascending Value order. Field types are those stored: ArcGIS writes Count
// as a real field, so use VatInteger to read it.
struct Vat {
  std::vector<VatField> fields;  // Value, Count, then further fields
  std::vector<VatRow> rows;
};

// Index of the field named `name` (letter case ignored), or -1.
int FindVatField(const Vat& vat, const std::string& name);
// An integer, an integral real or a text holding an integer (blanks around it allowed) as
// integer; throws AppError for anything else.
std::int64_t VatInteger(const VatValue& value);

// True when the grid folder holds a value attribute table (.tif.vat.dbf, or vat.adf).
bool HasVat(const std::filesystem::path& gridFolder);
// Reads the grid's value attribute table; throws AppError naming the file when there is none.
// A dBASE date comes back as text YYYY/MM/DD.
Vat ReadVat(const std::filesystem::path& gridFolder);
// Writes <folder>/<name>.tif.vat.dbf (with a UTF-8 .cpg) into an existing grid folder,
// replacing any earlier table. Rows are stored in ascending Value order. Fields and values
// must pass the dBASE checks of DbfFields.h, Value must be an Integer field holding an integer
// in every row and no Value may appear twice, else AppError and the earlier table stays.
// dBASE stores no empty text: "" reads back as no value (std::monostate).
void WriteVat(const std::filesystem::path& gridFolder, const Vat& vat);

// (value, number of cells)
using ValueCount = std::pair<std::int32_t, std::int64_t>;
// Writes the table of two Integer fields, Value and Count, one row per (value, count), as
// WriteVat does, straight from `counts` (ascending, each value once): no row is held in memory
// on the way. Returns the rows written.
std::int64_t WriteCountsVat(const std::filesystem::path& gridFolder,
                            const std::vector<ValueCount>& counts);

}  // namespace rivanet::gis
