#pragma once

// Values of a value attribute table as OGR stores them in a dBASE table. Private to the GIS
// library: it hands out OGR objects.

#include <filesystem>
#include <string>

#include "platform/gis/GdalSupport.h"
#include "platform/gis/GridVat.h"

namespace rivanet::gis {

// The value of field `i` (of definition `field`) of a row: none when unset.
VatValue ValueOf(const OGRFeature& row, int i, const VatField& field);
// Sets field `i`; the value must have passed FieldValueProblem for `field`.
void SetValue(OGRFeature& row, int i, const VatField& field, const VatValue& value);

// <folder>/<name>.tif.vat.dbf of a grid folder, as found on disk (or as it would be written).
std::filesystem::path VatDbfOf(const std::filesystem::path& gridFolder);

// A dBASE table worked on in GDAL's in-memory file system. OGR reads and writes a dBASE table
// one record at a time with a seek each; in memory that costs no system call, which makes a
// table of tens of thousands of rows a matter of milliseconds instead of a second. The memory
// is a few bytes per row (the file itself).
class MemoryTable {
 public:
  // An empty place for a new table named like `dbf`; Create it there with OGR.
  explicit MemoryTable(const std::filesystem::path& dbf);
  // A copy of the existing table `dbf` and its code page file (.cpg), if any. A table that
  // does not pass CheckDbfFile (DbfCheck.h) is refused with AppError naming it.
  static MemoryTable Load(const std::filesystem::path& dbf);
  MemoryTable(MemoryTable&& other) noexcept;
  MemoryTable& operator=(MemoryTable&&) = delete;
  MemoryTable(const MemoryTable&) = delete;
  ~MemoryTable();

  // Where OGR creates the table (a /vsimem/ path).
  const std::string& Path() const { return m_dbf; }
  // Opens the table with OGR; a failure names `dbf`, the table on disk, not the copy.
  DatasetPtr Open(bool update, const std::filesystem::path& dbf) const;
  // Writes the table (and its .cpg) beside `dbf` under a temporary name, then renames it onto
  // `dbf`: an earlier table is replaced at once or, on a failure, left as it was.
  void Save(const std::filesystem::path& dbf) const;

 private:
  std::string m_folder;
  std::string m_dbf;
};

}  // namespace rivanet::gis
