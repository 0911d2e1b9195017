#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gis/DbfAppender.h"
#include "tables/TableStage.h"

namespace rivanet {

class FileSystem;
struct RunContext;

namespace tables {

// What the appends into one table did, for its log entry.
struct AppendCounts {
  int sources = 0;             // appends made
  std::int64_t read = 0;       // rows read from the sources
  std::int64_t zeroDuuid = 0;  // RVXMetadata rows passed over for DUUID = 0
  std::int64_t appended = 0;   // rows that reached the target
  std::int64_t Repeats() const { return read - zeroDuuid - appended; }
};

// A table that rows are appended to. An output table takes them into a copy that replaces it
// whole when its appends are done (gis::DbfAppender). A Work folder table is kept in the
// scratch database, its own rows included, and never written: the Work folder is scratch, and
// the appends out of it read the kept rows.
struct TargetTable {
  std::filesystem::path file;
  std::vector<gis::DbfField> fields;
  gis::DbfTextWidth text = gis::DbfTextWidth::Utf8Bytes;
  std::unique_ptr<gis::DbfAppender> output;  // an output table
  std::optional<StagedTable> kept;           // a Work folder table
  std::optional<TableStage::Inserter> keep;  // adds to `kept`
  bool halfAppended = false;                 // an append into it failed before it was done
  std::int64_t wholeRows = 0;                // rows of `output` that the appends done whole added
};

// The target tables of the phase, opened when the first row is to be appended to them.
class TargetTables {
 public:
  TargetTables(FileSystem& files, TableStage& stage, std::filesystem::path workFolder);

  TableStage& Stage() { return m_stage; }
  // The target for `table` in `folder`, opened at first use.
  TargetTable& Open(const std::filesystem::path& folder, const std::string& table);
  // The kept Work folder table when `folder` is the Work folder and the table was appended to
  // there; else nothing.
  const TargetTable* KeptWork(const std::filesystem::path& folder, const std::string& table) const;
  // Ends the appends into an output table: the table is replaced by the copy holding its new
  // rows (it stays as it is when none came). Work folder tables are kept for the appends out.
  void Finish(const std::filesystem::path& folder, const std::string& table);
  // Ends the appends into a table early: the rows of every append that was done whole are
  // kept; those of an append that stopped half-way are not.
  void FinishEarly(const std::filesystem::path& folder, const std::string& table);
  // Forgets a table without writing it.
  void Forget(const std::filesystem::path& folder, const std::string& table);

 private:
  std::string Key(const std::filesystem::path& folder, const std::string& table) const;

  FileSystem& m_files;
  TableStage& m_stage;
  std::filesystem::path m_work;
  std::map<std::string, TargetTable> m_open;
};

// Appends the rows of table `table` in `sourceFolder` to the same table in `targetFolder`: the
// source's distinct rows (for the table named exactly "RVXMetadata", without the rows whose
// DUUID is 0), in the order of their first occurrence, after the rows the target holds; they
// are not compared with those. Columns are matched by name. The source's own table is never
// changed. A source in the Work folder is read from its kept rows when there are any.
void AppendTable(RunContext& ctx, TargetTables& targets, const std::filesystem::path& sourceFolder,
                 const std::filesystem::path& targetFolder, const std::string& table,
                 AppendCounts& counts);

}  // namespace tables
}  // namespace rivanet
