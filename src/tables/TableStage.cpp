#include "tables/TableStage.h"

#include <system_error>

#include "platform/Error.h"

namespace fs = std::filesystem;

namespace rivanet::tables {
namespace {

std::string Column(std::size_t i) {
  return db::QuoteIdentifier(std::string(1, 'c') += std::to_string(i + 1));
}

std::string ColumnList(std::size_t columns) {
  std::string list;
  for (std::size_t i = 0; i < columns; ++i) list += (i > 0 ? ", " : "") + Column(i);
  return list;
}

std::string Name(const StagedTable& table) { return db::QuoteIdentifier(table.name); }

}  // namespace

TableStage::TableStage(const fs::path& file) : m_file(file), m_db(file, db::OpenMode::Create) {
  // A scratch file: nothing survives a crash, so the journal stays in memory (it still rolls a
  // failed append back) and nothing waits for the disk. The cache bounds the memory used; pages
  // larger than the default hold more of the long distinct-row keys, which makes each insert
  // cheaper.
  m_db.Execute(
      "PRAGMA page_size = 16384; PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF; "
      "PRAGMA locking_mode = EXCLUSIVE; PRAGMA cache_size = -16384");
}

TableStage::~TableStage() {
  try {
    m_db.Close();
  } catch (const AppError&) {
    // The file goes anyway; nothing in it is wanted any more.
  }
  std::error_code ec;
  fs::remove(m_file, ec);
}

StagedTable TableStage::Create(std::size_t columns) {
  StagedTable table{NewTableName(), columns};
  m_db.Execute("CREATE TABLE " + Name(table) + " (" + ColumnList(columns) + ")");
  return table;
}

void TableStage::Drop(const StagedTable& table) { m_db.Execute("DROP TABLE " + Name(table)); }

TableStage::Inserter::Inserter(TableStage& stage, const StagedTable& table)
    : m_insert([&] {
        std::string values;
        for (std::size_t i = 0; i < table.columns; ++i) values += i > 0 ? ", ?" : "?";
        return stage.m_db.Prepare("INSERT INTO " + Name(table) + " VALUES (" + values + ")");
      }()),
      m_columns(table.columns) {}

void TableStage::Inserter::Insert(const SqlRow& row) {
  if (row.size() != m_columns)
    throw AppError(kErrInternal, "A staged row has " + std::to_string(row.size()) + " values for " +
                                     std::to_string(m_columns) + " columns");
  for (std::size_t i = 0; i < row.size(); ++i) {
    const int at = static_cast<int>(i) + 1;
    const SqlValue& value = row[i];
    if (const auto* n = std::get_if<std::int64_t>(&value))
      m_insert.Bind(at, *n);
    else if (const auto* d = std::get_if<double>(&value))
      m_insert.Bind(at, *d);
    else if (const auto* s = std::get_if<std::string>(&value))
      m_insert.Bind(at, std::string_view(*s));
    else
      m_insert.BindNull(at);
  }
  m_insert.Step();
  m_insert.Reset();
}

TableStage::Cursor::Cursor(TableStage& stage, const StagedTable& table)
    : m_select(stage.m_db.Prepare("SELECT " + ColumnList(table.columns) + " FROM " + Name(table) +
                                  " ORDER BY rowid")),
      m_columns(table.columns) {}

bool TableStage::Cursor::Next(SqlRow& row) {
  if (!m_select.Step()) return false;
  row.resize(m_columns);
  for (std::size_t i = 0; i < m_columns; ++i) {
    const int at = static_cast<int>(i);
    switch (m_select.Type(at)) {
      case db::ColumnType::Integer:
        row[i] = m_select.Int64(at);
        break;
      case db::ColumnType::Real:
        row[i] = m_select.Real(at);
        break;
      case db::ColumnType::Text:
      case db::ColumnType::Blob:
        row[i] = m_select.Text(at);
        break;
      case db::ColumnType::Null:
        row[i] = std::monostate{};
        break;
    }
  }
  return true;
}

std::string TableStage::NewTableName() { return std::string(1, 't') += std::to_string(++m_tables); }

}  // namespace rivanet::tables
