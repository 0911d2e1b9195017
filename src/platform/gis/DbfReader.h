#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/gis/DbfFields.h"

namespace rivanet::gis {

// One row of a dBASE table: a value per field, in field order.
using DbfRow = std::vector<DbfValue>;

// Reads a dBASE table (a workspace table, or the attribute table of a shapefile) row by row,
// read-only and without writing anything beside it. The file passes CheckDbfFile (DbfCheck.h)
// first, so what GDAL reads is what the file holds. Values: Integer fields as integers, Real
// fields as reals, text as UTF-8 (converted from the table's code page, which its .cpg or its
// header names; ISO-8859-1 read as the Windows-1252 it stands for; text that is not in that
// code page, or not UTF-8 where the table names none, is refused), dates as text YYYY/MM/DD;
// blanks, the '*' fill and zero dates are no value.
// Deleted records are passed over. Every failure throws AppError naming the file.
class DbfReader {
 public:
  explicit DbfReader(const std::filesystem::path& file);
  ~DbfReader();
  DbfReader(const DbfReader&) = delete;
  DbfReader& operator=(const DbfReader&) = delete;

  const std::filesystem::path& File() const;
  const std::vector<DbfField>& Fields() const;
  // The code page GDAL reads the text in ("UTF-8", "ISO-8859-1", "CP1252" ...); empty when the
  // table names none and its bytes are taken as they are.
  const std::string& Encoding() const;

  // The next row in file order into `row`; false after the last.
  bool Next(DbfRow& row);
  // The record number of the row Next gave last (1 = the first record of the file).
  std::int64_t RecordNumber() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace rivanet::gis
