#include "tables/AppendTable.h"

#include <optional>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/DbfAppender.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "tables/DistinctRows.h"

namespace fs = std::filesystem;

namespace rivanet::tables {
namespace {

// The one table whose appends leave out the rows with DUUID = 0; the name is compared exactly.
constexpr const char* kMetadata = "RVXMetadata";
constexpr const char* kDuuid = "DUUID";

// The rows an append reads, from a dBASE file or from a staged Work folder table.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual const std::vector<gis::DbfField>& Fields() const = 0;
  virtual bool Next(gis::DbfRow& row) = 0;
  virtual std::int64_t RowNumber() const = 0;
  virtual std::string Name() const = 0;
};

class FileSource : public RowSource {
 public:
  explicit FileSource(const fs::path& file) : m_reader(file) {}
  const std::vector<gis::DbfField>& Fields() const override { return m_reader.Fields(); }
  bool Next(gis::DbfRow& row) override { return m_reader.Next(row); }
  std::int64_t RowNumber() const override { return m_reader.RecordNumber(); }
  std::string Name() const override { return DisplayPath(m_reader.File()); }
  const gis::DbfReader& Reader() const { return m_reader; }

 private:
  gis::DbfReader m_reader;
};

class KeptSource : public RowSource {
 public:
  KeptSource(TableStage& stage, const TargetTable& table)
      : m_table(table), m_cursor(stage, *table.kept) {}
  const std::vector<gis::DbfField>& Fields() const override { return m_table.fields; }
  bool Next(gis::DbfRow& row) override {
    if (!m_cursor.Next(m_values)) return false;
    ++m_number;
    row = FromSql(m_table.fields, m_values);
    return true;
  }
  std::int64_t RowNumber() const override { return m_number; }
  std::string Name() const override { return DisplayPath(m_table.file); }

 private:
  const TargetTable& m_table;
  TableStage::Cursor m_cursor;
  SqlRow m_values;
  std::int64_t m_number = 0;
};

ColumnMap SameColumns(const std::vector<gis::DbfField>& fields) {
  ColumnMap map;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    map.sourceField.push_back(static_cast<int>(i));
    map.rounds.push_back(gis::RoundsUnseen(fields[i], fields[i]));
  }
  return map;
}

// The target column of the source's DUUID field, when the DUUID = 0 rows are to go.
std::optional<std::size_t> ZeroColumn(const std::string& table, const RowSource& source,
                                      const ColumnMap& map) {
  if (table != kMetadata) return std::nullopt;
  for (std::size_t t = 0; t < map.sourceField.size(); ++t) {
    const int s = map.sourceField[t];
    if (s >= 0 && SameIgnoringCase(source.Fields()[s].name, kDuuid)) return t;
  }
  throw AppError(kErrInvalidArgument, std::string("The table has no field ") + kDuuid +
                                          " to leave out the rows whose " + kDuuid + " is 0");
}

// The target's values for one source row; a value the target cannot hold names the row.
SqlRow TargetValues(const TargetTable& target, const ColumnMap& map, const RowSource& source,
                    const gis::DbfRow& row) {
  try {
    return ToSql(target.fields, target.text, map, row);
  } catch (const AppError& e) {
    throw AppError(e.Number(), "Row " + std::to_string(source.RowNumber()) + " of " +
                                   source.Name() + " cannot be appended to " +
                                   DisplayPath(target.file) + ": " + e.Description());
  }
}

// Puts a row into the target: into the output table's copy, or among a Work table's kept rows.
void Put(TargetTable& target, SqlRow values) {
  if (target.output)
    target.output->Add(std::move(values));
  else
    target.keep->Insert(values);
}

// One append: the source's rows without those whose DUUID is 0, each distinct row once, after
// the rows the target holds. The scratch database's part is one transaction, so a failing
// append leaves a kept Work table as it was; an output table's copy is then marked half
// appended (FinishEarly keeps only the rows added before it).
void AppendRows(TableStage& stage, TargetTable& target, RowSource& source, const std::string& table,
                AppendCounts& counts) {
  ColumnMap map;
  std::optional<std::size_t> zero;
  try {
    map = MapColumns(source.Fields(), target.fields, table);
    zero = ZeroColumn(table, source, map);
  } catch (const AppError& e) {
    throw AppError(e.Number(), "Cannot append " + source.Name() + " to " +
                                   DisplayPath(target.file) + ": " + e.Description());
  }
  AppendCounts done;
  db::Transaction transaction(stage.Db());
  {
    DistinctRows distinct(stage, [&](SqlRow&& values) {
      Put(target, std::move(values));
      ++done.appended;
    });
    gis::DbfRow row;
    target.halfAppended = true;
    if (target.output) target.wholeRows = target.output->Added();
    while (source.Next(row)) {
      ++done.read;
      SqlRow values = TargetValues(target, map, source, row);
      if (zero && IsZero(values[*zero]))
        ++done.zeroDuuid;
      else
        distinct.Offer(std::move(values));
    }
    distinct.Finish();
  }
  transaction.Commit();
  target.halfAppended = false;

  ++counts.sources;
  counts.read += done.read;
  counts.zeroDuuid += done.zeroDuuid;
  counts.appended += done.appended;
}

}  // namespace

TargetTables::TargetTables(FileSystem& files, TableStage& stage, fs::path workFolder)
    : m_files(files), m_stage(stage), m_work(std::move(workFolder)) {}

std::string TargetTables::Key(const fs::path& folder, const std::string& table) const {
  return folder.string() + '\n' + table;
}

TargetTable& TargetTables::Open(const fs::path& folder, const std::string& table) {
  const std::string key = Key(folder, table);
  if (const auto it = m_open.find(key); it != m_open.end()) return it->second;

  TargetTable& target = m_open[key];
  try {
    target.file = m_files.Resolve(folder / (table + ".dbf"));
    FileSource existing(target.file);
    target.fields = existing.Fields();
    target.text = gis::TextWidthFor(existing.Reader().Encoding());
    if (folder != m_work) {
      target.output = std::make_unique<gis::DbfAppender>(target.file);
      return target;
    }
    db::Transaction transaction(m_stage.Db());
    target.kept = m_stage.Create(target.fields.size());
    target.keep.emplace(m_stage, *target.kept);
    const ColumnMap same = SameColumns(target.fields);
    gis::DbfRow row;
    while (existing.Next(row)) target.keep->Insert(TargetValues(target, same, existing, row));
    transaction.Commit();
  } catch (...) {
    m_open.erase(key);
    throw;
  }
  return target;
}

const TargetTable* TargetTables::KeptWork(const fs::path& folder, const std::string& table) const {
  if (folder != m_work) return nullptr;
  const auto it = m_open.find(Key(m_work, table));
  return it != m_open.end() ? &it->second : nullptr;
}

void TargetTables::Finish(const fs::path& folder, const std::string& table) {
  if (folder == m_work) return;  // kept for the appends out of the Work folder
  const auto it = m_open.find(Key(folder, table));
  if (it == m_open.end()) return;
  // Out of the list first: whatever happens to the write, the table is done with.
  const auto done = m_open.extract(it);
  if (done.mapped().output->Added() > 0) done.mapped().output->Commit();
}

void TargetTables::FinishEarly(const fs::path& folder, const std::string& table) {
  const auto it = m_open.find(Key(folder, table));
  if (it == m_open.end() || !it->second.halfAppended || !it->second.output)
    return Finish(folder, table);
  // Out of the list first, as in Finish. The copy keeps the rows of the appends done whole;
  // without any, it goes and the table stays as it was.
  const auto done = m_open.extract(it);
  if (done.mapped().wholeRows > 0) done.mapped().output->CommitFirst(done.mapped().wholeRows);
}

void TargetTables::Forget(const fs::path& folder, const std::string& table) {
  const auto it = m_open.find(Key(folder, table));
  if (it == m_open.end()) return;
  TargetTable& target = it->second;
  target.keep.reset();
  if (target.kept) m_stage.Drop(*target.kept);
  m_open.erase(it);
}

void AppendTable(RunContext& ctx, TargetTables& targets, const fs::path& sourceFolder,
                 const fs::path& targetFolder, const std::string& table, AppendCounts& counts) {
  InProcedure("AppendTable", [&] {
    TargetTable& target = targets.Open(targetFolder, table);
    if (const TargetTable* work = targets.KeptWork(sourceFolder, table)) {
      KeptSource source(targets.Stage(), *work);
      AppendRows(targets.Stage(), target, source, table, counts);
    } else {
      FileSource source(ctx.files.Resolve(sourceFolder / (table + ".dbf")));
      AppendRows(targets.Stage(), target, source, table, counts);
    }
  });
}

}  // namespace rivanet::tables
