#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/gis/DbfFit.h"
#include "platform/gis/DbfReader.h"

namespace rivanet::gis {

// Appends rows to an existing dBASE table so that the table is replaced whole or not at all.
// The rows go to a copy of the table (and of its .cpg) in the folder
// ".RivanetAppend-appending-<table>" beside it; Commit() renames the copy over the table. An
// appender dropped without Commit() removes its copy and leaves the table as it was; a copy
// that a killed process left is removed by the next appender of the table. The table's own rows,
// header and field definitions stay as they are; text is converted to its code page.
class DbfAppender {
 public:
  // Refuses (AppError naming the table) a table that does not pass CheckDbfFile, and one whose
  // file is read-only: a read-only table is not the program's to replace.
  explicit DbfAppender(const std::filesystem::path& table);
  ~DbfAppender();
  DbfAppender(const DbfAppender&) = delete;
  DbfAppender& operator=(const DbfAppender&) = delete;

  const std::vector<DbfField>& Fields() const;
  DbfTextWidth TextWidth() const;

  // Appends a row, a value per field: integers for Integer fields, reals (or integers) for Real
  // fields, text for String fields, text as ParseDbfDate reads it for Date fields. A value that
  // does not fit its field (ValueProblem), or that GDAL cannot write unchanged, stops the
  // appender with an AppError naming the table and the row, thrown by a later Add or by Commit
  // (the rows are written on a thread of their own); GDAL would otherwise widen a text field or
  // cut a number. Callers that must name the source row check ValueProblem first.
  void Add(DbfRow row);
  // Rows added so far.
  std::int64_t Added() const;
  // Writes the copy out and puts it in the table's place.
  void Commit();
  // As Commit, but the copy keeps only the first `rows` rows added: when a run of appends stops
  // half way through one, the appends done before it stay. Returns false, and the table stays
  // as it was, when a write of the copy has failed.
  bool CommitFirst(std::int64_t rows);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace rivanet::gis
