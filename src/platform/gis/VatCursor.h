#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/gis/GridVat.h"

namespace rivanet::gis {

// Walks the value attribute table of a grid in the program's own store
// (<grid>/<grid>.tif.vat.dbf) one row at a time, in ascending Value order, on a copy of the
// table held in memory (the file itself, a few bytes per row). Opened for update, Flush puts
// the changed copy in place of the table at once; a cursor ended without Flush leaves the
// table as it was. Every failure is an AppError naming the table.
class VatCursor {
 public:
  enum class Mode { Read, Update };
  VatCursor(const std::filesystem::path& gridFolder, Mode mode);
  ~VatCursor();
  VatCursor(const VatCursor&) = delete;
  VatCursor& operator=(const VatCursor&) = delete;

  const std::vector<VatField>& Fields() const;
  // Index of the field named `name` (letter case ignored), or -1.
  int FindField(const std::string& name) const;

  // Moves to the next row; false after the last one. A Value lower than the row before it, or
  // a row without an integer Value, is an error: the table is not a value attribute table.
  bool Next();
  std::int64_t Value() const;
  VatValue Get(int field) const;
  // Changes a value of the current row; it must fit the field (DbfFields.h).
  void Set(int field, const VatValue& value);
  // Stores the current row's changes (Update mode).
  void UpdateRow();
  // Puts the changed table in place (Update mode). Closing a Read cursor early is harmless.
  void Flush();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// Adds the field, empty in every row, after the last field of the grid's value attribute table
// (own store). The table is changed in memory and then put in place at once, so a failure
// leaves it as it was. AppError when the table has a field of that name (letter case ignored)
// or the definition is no dBASE field.
void AddVatField(const std::filesystem::path& gridFolder, const VatField& field);

}  // namespace rivanet::gis
